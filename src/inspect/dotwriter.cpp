// graphAsDot and the DOT writer that frameAsDot shares: containers as clusters, ports as
// table cells.
#include "inspect/dotwriter_p.h"

#include "graph/side_p.h"

#include <algorithm>
#include <charconv>

namespace Vantrel {
namespace Orv {

namespace {

using detail::numPorts;
using detail::Side;

// Every piece goes straight onto the end of the text: a picture of a large graph is made of
// many short pieces, and building each in a string of its own cost an allocation per piece.

void appendNumber(QByteArray& out, int value) {
    char digits[16];
    const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, int(end.ptr - digits));
}

// `text` for a Graphviz HTML-like label: markup characters as entities and a line break as
// <BR/>. Other control characters, which the label's XML may not hold, become '?'.
void appendHtml(QByteArray& out, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
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
}

// `text` as a DOT quoted string, quotes included, for attributes such as tooltip: quotes and
// backslashes escaped (so that Graphviz's \N and the like stay literal), a line break as \n,
// other control characters as '?'.
void appendQuoted(QByteArray& out, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    out += '"';
    for (const char c : utf8) {
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        if (c == '"' || c == '\\') out += '\\';
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    }
    out += '"';
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
        portsNode(root, Side::Input, _style.rootInputs, 1);
        portsNode(root, Side::Output, _style.rootOutputs, 1);
        for (int i = 0; i < _graph.numNodes(root); ++i) node(_graph.getNode(i, root), 1);
        _out += _style.legend;
        edges();
        _out += "}\n";
        return _out;
    }

private:
    bool isContainer(int node) const {
        return node == Graph::kRootNodeRef || _graph.numNodes(node) > 0;
    }
    void indent(int depth) {
        for (int d = 0; d < depth; ++d) _out += "  ";
    }
    // "n3", or "n3_in" / "n3_out" for a container's ports, in quotes.
    void id(int node, const char* suffix = "") {
        _out += "\"n";
        appendNumber(_out, node);
        _out += suffix;
        _out += '"';
    }
    // An edge's end at a port: "n3":i0, or "n3_in":i0 on the node that holds a container's ports.
    void portEnd(int node, int port, Side side, bool onContainer) {
        const bool input = side == Side::Input;
        id(node, !onContainer ? "" : input ? "_in" : "_out");
        _out += input ? ":i" : ":o";
        appendNumber(_out, port);
    }
    // Where an edge attaches to a port: a container's ports are nodes of their own.
    void endpoint(int node, int port, Side side) { portEnd(node, port, side, isContainer(node)); }
    // "blur.out0", or "parameters.exposure" for a port of the root, as hover texts name a port.
    QString portPath(int node, int port, Side side) const {
        return (node == Graph::kRootNodeRef
                    ? (side == Side::Input ? _style.rootInputs : _style.rootOutputs)
                    : _graph.nodePath(node)) +
               QLatin1Char('.') + detail::portLabel(_graph, node, side, port);
    }
    void portName(int node, int port, Side side) {
        const QString name = detail::portName(_graph, node, side, port);
        if (name.isEmpty())
            _out += "&nbsp;";
        else
            appendHtml(_out, name);
    }

    // A container's inputs or outputs, one row each, as a node inside its cluster.
    void portsNode(int node, Side side, const QString& title, int depth) {
        const bool inputs = side == Side::Input;
        const int count = numPorts(_graph, node, side);
        if (count == 0) return;
        const QString tip = node == Graph::kRootNodeRef ? title
                                                        : (inputs ? QStringLiteral("inputs of ")
                                                                  : QStringLiteral("outputs of ")) +
                                                              _graph.nodePath(node);
        indent(depth);
        id(node, inputs ? "_in" : "_out");
        _out += " [tooltip=";
        appendQuoted(_out, tip);
        _out += ", label=<";
        _out += "<TABLE BORDER=\"0\" CELLBORDER=\"1\" CELLSPACING=\"0\" BGCOLOR=\"#eef3fb\">";
        _out += "<TR><TD><I>";
        appendHtml(_out, title);
        _out += "</I></TD></TR>";
        for (int p = 0; p < count; ++p) {
            _out += inputs ? "<TR><TD PORT=\"i" : "<TR><TD PORT=\"o";
            appendNumber(_out, p);
            _out += "\">";
            portName(node, p, side);
            _out += "</TD></TR>";
        }
        _out += "</TABLE>>];\n";
    }

    // A port's cell in row `row` of a node's table, or an empty cell below the side's last port.
    void portCell(int node, int row, Side side, int count, const char* font) {
        if (row >= count) {
            _out += "<TD></TD>";
            return;
        }
        const bool input = side == Side::Input;
        _out += input ? "<TD PORT=\"i" : "<TD PORT=\"o";
        appendNumber(_out, row);
        _out += input ? "\" ALIGN=\"LEFT\">" : "\" ALIGN=\"RIGHT\">";
        _out += font;
        portName(node, row, side);
        _out += "</FONT></TD>";
    }

    void node(int node, int depth) {
        if (isContainer(node)) {
            indent(depth);
            _out += "subgraph \"cluster_n";
            appendNumber(_out, node);
            _out += "\" {\n";
            indent(depth + 1);
            _out += "label=<";
            appendHtml(_out, _graph.nodeName(node));
            _out += ">;\n";
            indent(depth + 1);
            _out += "style=rounded; color=\"#7a8aa6\";\n";
            indent(depth + 1);
            _out += "tooltip=";
            appendQuoted(_out, _graph.nodePath(node) + QStringLiteral(" (group)"));
            _out += ";\n";
            portsNode(node, Side::Input, QStringLiteral("in"), depth + 1);
            portsNode(node, Side::Output, QStringLiteral("out"), depth + 1);
            for (int i = 0; i < _graph.numNodes(node); ++i)
                this->node(_graph.getNode(i, node), depth + 1);
            indent(depth);
            _out += "}\n";
            return;
        }
        detail::DotNodeStyle look;
        if (_style.decorate) _style.decorate(node, &look);
        const int numInputs = _graph.numInputs(node);
        const int numOutputs = _graph.numOutputs(node);
        const int rows = std::max({numInputs, numOutputs, 1});
        const char* const font = look.faded ? "<FONT COLOR=\"#9a9a9a\">" : "<FONT>";
        indent(depth);
        id(node);
        _out += " [tooltip=";
        appendQuoted(_out, look.tooltip.isEmpty() ? _graph.nodePath(node) : look.tooltip);
        _out += ", label=<";
        _out += look.marked ? "<TABLE BORDER=\"3\" CELLBORDER=\"0\" CELLSPACING=\"0\""
                            : "<TABLE BORDER=\"1\" CELLBORDER=\"0\" CELLSPACING=\"0\"";
        if (!look.fill.isEmpty()) _out += " BGCOLOR=\"" + look.fill + '"';
        if (look.faded) _out += " COLOR=\"#9a9a9a\" STYLE=\"dashed\"";
        _out += '>';
        for (int r = 0; r < rows; ++r) {
            _out += "<TR>";
            portCell(node, r, Side::Input, numInputs, font);
            if (r == 0) {
                _out += "<TD ROWSPAN=\"";
                appendNumber(_out, rows);
                _out += "\">";
                _out += font;
                _out += "<B>";
                appendHtml(_out, _graph.nodeName(node));
                _out += "</B>";
                if (!look.note.isEmpty()) {
                    _out += "<BR/>";
                    appendHtml(_out, look.note);
                }
                _out += "</FONT></TD>";
            }
            portCell(node, r, Side::Output, numOutputs, font);
            _out += "</TR>";
        }
        _out += "</TABLE>>];\n";
    }

    // Every live edge once, styled by kind.
    void edges() {
        for (int e = 0; e < _graph.numEdgesGlobal(); ++e) {
            if (!_graph.isValidEdge(e)) continue;
            const int src = _graph.edgeSourceNode(e);
            const int srcPort = _graph.edgeSourceIndex(e);
            const int dst = _graph.edgeDestNode(e);
            const int dstPort = _graph.edgeDestIndex(e);
            const bool down = _graph.isDownEdge(e);
            const bool up = _graph.isUpEdge(e);
            QString tip = portPath(src, srcPort, down ? Side::Input : Side::Output) +
                          QStringLiteral(" -> ") +
                          portPath(dst, dstPort, up ? Side::Output : Side::Input);
            detail::DotEdgeStyle edgeLook;
            if (_style.decorateEdge) _style.decorateEdge(e, &edgeLook);
            if (!edgeLook.tooltip.isEmpty()) tip += QLatin1Char('\n') + edgeLook.tooltip;

            // A down edge leaves its container's input, inside its cluster; an up edge ends at its
            // container's output.
            _out += "  ";
            if (down)
                portEnd(src, srcPort, Side::Input, true);
            else
                endpoint(src, srcPort, Side::Output);
            _out += " -> ";
            if (up)
                portEnd(dst, dstPort, Side::Output, true);
            else
                endpoint(dst, dstPort, Side::Input);
            _out += down ? " [style=dashed, color=\"#3b6fb6\", tooltip="
                    : up ? " [style=dotted, color=\"#2e8b57\", tooltip="
                         : " [tooltip=";
            appendQuoted(_out, tip);
            if (!edgeLook.label.isEmpty()) {
                _out += ", label=";
                appendQuoted(_out, edgeLook.label);
                _out += ", fontname=\"Helvetica\", fontsize=9";
            }
            _out += "];\n";
        }
        for (const detail::DotExtraEdge& extra : _style.extraEdges) {
            _out += "  ";
            endpoint(extra.from, extra.fromPort, Side::Output);
            _out += " -> ";
            endpoint(extra.to, extra.toPort, Side::Input);
            _out += " [style=dashed, color=\"#8a8a8a\", constraint=false, tooltip=";
            appendQuoted(_out, portPath(extra.from, extra.fromPort, Side::Output) +
                                   QStringLiteral(" -> ") +
                                   portPath(extra.to, extra.toPort, Side::Input) +
                                   QLatin1Char('\n') + extra.label);
            _out += ", label=";
            appendQuoted(_out, extra.label);
            _out += ", fontname=\"Helvetica\", fontsize=9];\n";
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
