// Node paths: the names from the root down, joined with "/".
#include <Orv/Graph.h>

#include <QStringList>
#include <QVarLengthArray>
#include <QVector>

#include <limits>

namespace Vantrel {
namespace Orv {

namespace {

// A "/" or "\" inside a name is written with a backslash before it, so that any name survives
// the round trip through a path.
void appendEscaped(QString& path, const QString& name) {
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\')) path += QLatin1Char('\\');
        path += c;
    }
}

// The names of a path, or false for a backslash that ends it.
bool splitPath(const QString& path, QStringList* names) {
    QString name;
    for (int i = 0; i < path.size(); ++i) {
        const QChar c = path.at(i);
        if (c == QLatin1Char('\\')) {
            if (++i == path.size()) return false;
            name += path.at(i);
        } else if (c == QLatin1Char('/')) {
            names->append(name);
            name.clear();
        } else {
            name += c;
        }
    }
    names->append(name);
    return true;
}

}  // namespace

QString Graph::nodePath(int node) const {
    if (!isValidNode(node)) return QString();
    // The nodes from `node` up, then their names from the top down into one string: paths are
    // made for every node of a picture or a report, one allocation each.
    QVarLengthArray<int, 16> chain;
    qint64 length = 0;
    for (int n = node; n != kRootNodeRef; n = parentNode(n)) {
        chain.append(n);
        length += nodeName(n).size() + 1;
    }
    QString path;
    if (length <= std::numeric_limits<int>::max()) path.reserve(int(length));
    for (int k = chain.size() - 1; k >= 0; --k) {
        appendEscaped(path, nodeName(chain[k]));
        if (k > 0) path += QLatin1Char('/');
    }
    return path;
}

int Graph::findNodeByPath(const QString& path) const {
    if (path.isEmpty()) return kRootNodeRef;
    QStringList names;
    if (!splitPath(path, &names)) return kInvalidNodeRef;
    // Depth first, children in order: where siblings share a name each is tried in turn, so the
    // first node whose path this is is found. No subtree is entered twice; the stack holds, per
    // level, the next child to try.
    struct Level {
        int parent;
        int nextChild;
    };
    QVector<Level> stack{{kRootNodeRef, 0}};
    while (!stack.isEmpty()) {
        Level& level = stack.last();
        const int depth = stack.size() - 1;
        if (level.nextChild == numNodes(level.parent)) {
            stack.removeLast();
            continue;
        }
        const int child = getNode(level.nextChild++, level.parent);
        if (nodeName(child) != names.at(depth)) continue;
        if (depth + 1 == names.size()) return child;
        stack.append({child, 0});
    }
    return kInvalidNodeRef;
}

}  // namespace Orv
}  // namespace Vantrel
