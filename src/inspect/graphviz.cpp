// dumpAsGraphviz: the top level of a graph as DOT lines on the debug channel.
#include <Orv/Graph.h>

#include <QByteArray>
#include <QSet>
#include <QtGlobal>

namespace Vantrel {
namespace Orv {

// Each line is one qDebug() call so that a message handler sees the dump line by line.
void dumpAsGraphviz(const Graph* graph) {
    if (!graph) return;
    const int root = Graph::kRootNodeRef;
    const int numTopLevel = graph->numNodes(root);

    qDebug("digraph \"Orv\" {");
    qDebug("  rankdir=LR;");
    qDebug(" ");
    qDebug("  // Nodes");
    for (int i = 0; i < numTopLevel; ++i) {
        const QByteArray name = graph->nodeName(graph->getNode(i, root)).toLocal8Bit();
        qDebug("  \"%s\";", name.constData());
    }
    qDebug(" ");
    qDebug("  // Edges");
    for (int i = 0; i < numTopLevel; ++i) {
        const int source = graph->getNode(i, root);
        const QByteArray sourceName = graph->nodeName(source).toLocal8Bit();
        // One line per destination node, at the place of its first edge from this source.
        QSet<int> written;
        const int numOutputs = graph->numOutputs(source);
        for (int output = 0; output < numOutputs; ++output) {
            const int numDestinations = graph->numOutputDestinations(source, output);
            for (int k = 0; k < numDestinations; ++k) {
                const int dest = graph->edgeDestNode(graph->outputDestination(source, output, k));
                if (written.contains(dest)) continue;
                written.insert(dest);
                qDebug("  \"%s\" -> \"%s\";", sourceName.constData(),
                       graph->nodeName(dest).toLocal8Bit().constData());
            }
        }
    }
    qDebug("}");
}

}  // namespace Orv
}  // namespace Vantrel
