// graphAsDot and the DOT writer that frameAsDot shares: containers as clusters, ports as
// table cells.
#include "inspect/dotwriter_p.h"

#include "graph/side_p.h"

namespace Vantrel {
namespace Orv {

namespace {

using detail::numPorts;
using detail::Side;

// `text` for a Graphviz HTML-like label: markup characters as entities and a line break as
// <BR/>. Other control characters, which the label's XML may not hold, become '?'.
QByteArray htmlEscaped(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 8);
    for (const char c : utf8) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\n':
                out += "<BR/>";
                break;
            default:
                out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
        }
    }
    return out;
}

// `text` as a DOT quoted string, quotes included, for attributes such as tooltip: quotes and
// backslashes escaped (so that Graphviz's \N and the like stay literal), a line break as \n,
// other control characters as '?'.
QByteArray quotedString(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray out = "\"";
    out.reserve(utf8.size() + 8);
    for (const char c : utf8) {
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        if (c == '"' || c == '\\') out += '\\';
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    }
    return out + '"';
}

class DotWriter {
public:
    DotWriter(const Graph& graph, const detail::DotStyle& style) : _graph(graph), _style(style) {}

    QByteArray write() {
        _out =
            "digraph \"Orv\" {\n"
            "  rankdir=LR;\n"
            "  node [shape=plaintext, fontname=\"Helvetica\", fontsize=11];\n"
            "  edge [arrowsize=0.7];\n";
        const int root = Graph::kRootNodeRef;
        portsNode(root, Side::Input, _style.rootInputs, "  ");
        portsNode(root, Side::Output, _style.rootOutputs, "  ");
        for (int i = 0; i < _graph.numNodes(root); ++i) node(_graph.getNode(i, root), "  ");
        _out += _style.legend;
        edges();
        _out += "}\n";
        return _out;
    }

private:
    bool isContainer(int node) const {
        return node == Graph::kRootNodeRef || _graph.numNodes(node) > 0;
    }
    static QByteArray id(int node) { return "n" + QByteArray::number(node); }
    // Where an edge attaches to a port: a container's ports are nodes of their own.
    QByteArray endpoint(int node, int port, Side side) const {
        const bool input = side == Side::Input;
        const QByteArray cell = (input ? ":i" : ":o") + QByteArray::number(port);
        if (isContainer(node)) return '"' + id(node) + (input ? "_in\"" : "_out\"") + cell;
        return '"' + id(node) + '"' + cell;
    }
    // "blur.out0", or "parameters.exposure" for a port of the root, as hover texts name a port.
    QString portPath(int node, int port, Side side) const {
        return (node == Graph::kRootNodeRef
                    ? (side == Side::Input ? _style.rootInputs : _style.rootOutputs)
                    : _graph.nodePath(node)) +
               QLatin1Char('.') + detail::portLabel(_graph, node, side, port);
    }
    QByteArray portName(int node, int port, Side side) const {
        const QString name = detail::portName(_graph, node, side, port);
        return name.isEmpty() ? QByteArray("&nbsp;") : htmlEscaped(name);
    }

    // A container's inputs or outputs, one row each, as a node inside its cluster.
    void portsNode(int node, Side side, const QString& title, const char* indent) {
        const bool inputs = side == Side::Input;
        const int count = numPorts(_graph, node, side);
        if (count == 0) return;
        const QString tip = node == Graph::kRootNodeRef ? title
                                                        : (inputs ? QStringLiteral("inputs of ")
                                                                  : QStringLiteral("outputs of ")) +
                                                              _graph.nodePath(node);
        _out += indent + ('"' + id(node) + (inputs ? "_in" : "_out") +
                          "\" [tooltip=" + quotedString(tip) + ", label=<");
        _out += "<TABLE BORDER=\"0\" CELLBORDER=\"1\" CELLSPACING=\"0\" BGCOLOR=\"#eef3fb\">";
        _out += "<TR><TD><I>" + htmlEscaped(title) + "</I></TD></TR>";
        for (int p = 0; p < count; ++p) {
            _out += "<TR><TD PORT=\"" + QByteArray(inputs ? "i" : "o") + QByteArray::number(p) +
                    "\">" + portName(node, p, side) + "</TD></TR>";
        }
        _out += "</TABLE>>];\n";
    }

    void node(int node, const QByteArray& indent) {
        if (isContainer(node)) {
            _out += indent + "subgraph \"cluster_" + id(node) + "\" {\n";
            _out += indent + "  label=<" + htmlEscaped(_graph.nodeName(node)) + ">;\n";
            _out += indent + "  style=rounded; color=\"#7a8aa6\";\n";
            _out += indent + "  tooltip=" +
                    quotedString(_graph.nodePath(node) + QStringLiteral(" (group)")) + ";\n";
            portsNode(node, Side::Input, QStringLiteral("in"), (indent + "  ").constData());
            portsNode(node, Side::Output, QStringLiteral("out"), (indent + "  ").constData());
            for (int i = 0; i < _graph.numNodes(node); ++i)
                this->node(_graph.getNode(i, node), indent + "  ");
            _out += indent + "}\n";
            return;
        }
        detail::DotNodeStyle look;
        if (_style.decorate) _style.decorate(node, &look);
        const int numInputs = _graph.numInputs(node);
        const int numOutputs = _graph.numOutputs(node);
        const int rows = std::max({numInputs, numOutputs, 1});
        QByteArray table = look.marked ? "<TABLE BORDER=\"3\" CELLBORDER=\"0\" CELLSPACING=\"0\""
                                       : "<TABLE BORDER=\"1\" CELLBORDER=\"0\" CELLSPACING=\"0\"";
        if (!look.fill.isEmpty()) table += " BGCOLOR=\"" + look.fill + '"';
        if (look.faded) table += " COLOR=\"#9a9a9a\" STYLE=\"dashed\"";
        table += '>';
        const QByteArray font = look.faded ? "<FONT COLOR=\"#9a9a9a\">" : "<FONT>";
        QByteArray title = "<B>" + htmlEscaped(_graph.nodeName(node)) + "</B>";
        if (!look.note.isEmpty()) title += "<BR/>" + htmlEscaped(look.note);
        for (int r = 0; r < rows; ++r) {
            table += "<TR>";
            table += r < numInputs ? "<TD PORT=\"i" + QByteArray::number(r) + "\" ALIGN=\"LEFT\">" +
                                         font + portName(node, r, Side::Input) + "</FONT></TD>"
                                   : QByteArray("<TD></TD>");
            if (r == 0)
                table += "<TD ROWSPAN=\"" + QByteArray::number(rows) + "\">" + font + title +
                         "</FONT></TD>";
            table += r < numOutputs
                         ? "<TD PORT=\"o" + QByteArray::number(r) + "\" ALIGN=\"RIGHT\">" + font +
                               portName(node, r, Side::Output) + "</FONT></TD>"
                         : QByteArray("<TD></TD>");
            table += "</TR>";
        }
        table += "</TABLE>";
        const QString tip = look.tooltip.isEmpty() ? _graph.nodePath(node) : look.tooltip;
        _out += indent + '"' + id(node) + "\" [tooltip=" + quotedString(tip) + ", label=<" + table +
                ">];\n";
    }

    // Every live edge once, styled by kind.
    void edges() {
        for (int e = 0; e < _graph.numEdgesGlobal(); ++e) {
            if (!_graph.isValidEdge(e)) continue;
            const int src = _graph.edgeSourceNode(e);
            const int srcPort = _graph.edgeSourceIndex(e);
            const int dst = _graph.edgeDestNode(e);
            const int dstPort = _graph.edgeDestIndex(e);
            QByteArray from;
            QByteArray to;
            QByteArray look;
            if (_graph.isDownEdge(e)) {
                // From the container's input, inside its cluster, to the child's input.
                from = '"' + id(src) + "_in\":i" + QByteArray::number(srcPort);
                to = endpoint(dst, dstPort, Side::Input);
                look = " [style=dashed, color=\"#3b6fb6\"]";
            } else if (_graph.isUpEdge(e)) {
                from = endpoint(src, srcPort, Side::Output);
                to = '"' + id(dst) + "_out\":o" + QByteArray::number(dstPort);
                look = " [style=dotted, color=\"#2e8b57\"]";
            } else {
                from = endpoint(src, srcPort, Side::Output);
                to = endpoint(dst, dstPort, Side::Input);
            }
            // A down edge leaves its container's input, an up edge ends at its container's output.
            QString tip =
                portPath(src, srcPort, _graph.isDownEdge(e) ? Side::Input : Side::Output) +
                QStringLiteral(" -> ") +
                portPath(dst, dstPort, _graph.isUpEdge(e) ? Side::Output : Side::Input);
            detail::DotEdgeStyle edgeLook;
            if (_style.decorateEdge) _style.decorateEdge(e, &edgeLook);
            if (!edgeLook.tooltip.isEmpty()) tip += QLatin1Char('\n') + edgeLook.tooltip;
            look = look.isEmpty() ? " [tooltip=" + quotedString(tip) + ']'
                                  : look.chopped(1) + ", tooltip=" + quotedString(tip) + ']';
            if (!edgeLook.label.isEmpty())
                look = look.chopped(1) + ", label=" + quotedString(edgeLook.label) +
                       ", fontname=\"Helvetica\", fontsize=9]";
            _out += "  " + from + " -> " + to + look + ";\n";
        }
        for (const detail::DotExtraEdge& extra : _style.extraEdges) {
            const QString tip =
                portPath(extra.from, extra.fromPort, Side::Output) + QStringLiteral(" -> ") +
                portPath(extra.to, extra.toPort, Side::Input) + QLatin1Char('\n') + extra.label;
            _out += "  " + endpoint(extra.from, extra.fromPort, Side::Output) + " -> " +
                    endpoint(extra.to, extra.toPort, Side::Input) +
                    " [style=dashed, color=\"#8a8a8a\", constraint=false, tooltip=" +
                    quotedString(tip) + ", label=" + quotedString(extra.label) +
                    ", fontname=\"Helvetica\", fontsize=9];\n";
        }
    }

    const Graph& _graph;
    const detail::DotStyle& _style;
    QByteArray _out;
};

}  // namespace

QByteArray detail::writeDot(const Graph& graph, const detail::DotStyle& style) {
    return DotWriter(graph, style).write();
}

QByteArray graphAsDot(const Graph& graph) {
    return detail::writeDot(graph, detail::DotStyle());
}

}  // namespace Orv
}  // namespace Vantrel
