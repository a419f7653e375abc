#include <Orv/Graph.h>
#include <Orv/Json.h>

#include "graph/graph_p.h"
#include "graph/refusal_p.h"
#include "json/graphjson_p.h"

#include <QHash>
#include <QJsonDocument>
#include <QVarLengthArray>

#include <algorithm>
#include <utility>
#include <vector>

namespace Vantrel {
namespace Orv {

const char* const kGraphJsonFormat = "orv-graph";
const char* const kRendererJsonFormat = "orv-renderer";

namespace detail {

namespace {

const int kRoot = Graph::kRootNodeRef;

// By NodeKey, then the extra ones a renderer allows.
const char* const kNodeKeys[] = {"name",        "value",        "inputs",   "outputs",
                                 "inputGroups", "outputGroups", "children", "id"};
const int kMaxKeys = kExtra + 3;

// Finds children and ports by name on a graph that no longer changes shape, through a table per
// list made when first asked.
class NameIndex {
public:
    explicit NameIndex(const Graph& graph) : _graph(graph) {}

    // The live child of `parent` so named: its child index, -1 for none, -2 for several.
    int child(int parent, const QString& name) {
        return find(_children, parent, name, _graph.numNodes(parent),
                    [&](int c) { return _graph.nodeName(_graph.getNode(c, parent)); });
    }

    // The port of the node's side so named: its index, -1 for none, -2 for several.
    int port(int node, Side side, const QString& name) {
        const int count = numPorts(_graph, node, side);
        // A short list is searched as it is: a table for each would cost more than it saves.
        if (count > kShortList)
            return find(_ports[int(side)], node, name, count,
                        [&](int p) { return portName(_graph, node, side, p); });
        int found = -1;
        for (int p = 0; p < count && found != -2; ++p) {
            if (portName(_graph, node, side, p) == name) found = found >= 0 ? -2 : p;
        }
        return found;
    }

private:
    using Tables = QHash<int, QHash<QString, int>>;
    static constexpr int kShortList = 8;

    // The position in the list of `count` entries, `list`, whose name `nameOf` gives.
    template <typename NameOf>
    static int find(Tables& tables, int list, const QString& name, int count, NameOf nameOf) {
        auto table = tables.find(list);
        if (table == tables.end()) {
            table = tables.insert(list, QHash<QString, int>());
            for (int i = 0; i < count; ++i) {
                const QString entry = nameOf(i);
                table->insert(entry, table->contains(entry) ? -2 : i);
            }
        }
        return table->value(name, -1);
    }

    const Graph& _graph;
    Tables _children;
    Tables _ports[2];  // by Side
};

// How messages name the entries of a list that path elements pick from.
struct ListWords {
    const char* one;
    const char* several;
    const char* hint;      // how to pick one of several
    const char* expected;  // for an element that is neither a name nor an index
};
const ListWords kChildWords = {"child", "children", "a child index", "node name or child index"};
const ListWords kPortWords[2] = {{"input", "inputs", "its index", "port name or index"},
                                 {"output", "outputs", "its index", "port name or index"}};

// Element `s` of `path`, at the readers' place: a position in a list of `node`'s, by a name unique
// in the list (`find`: -1 for none, -2 for several) or by an index below `count`.
template <typename Find>
bool resolveElement(const Graph& graph, int node, const ListWords& words, int count,
                    const JsonValue& path, int s, const Find& find, Errors& errors, int* index) {
    const JsonValue& element = path[rapidjson::SizeType(s)];
    const auto refuse = [&](const QString& what) {
        return errors.fail(s, describeNode(graph, node) + QStringLiteral(" has ") + what);
    };
    if (element.IsString()) {
        const QString name = toQString(element);
        *index = find(name);
        if (*index == -2)
            return refuse(
                QStringLiteral("several %1 named %2; use %3")
                    .arg(QLatin1String(words.several), quoted(name), QLatin1String(words.hint)));
        return *index >= 0 ||
               refuse(QStringLiteral("no %1 named %2").arg(QLatin1String(words.one), quoted(name)));
    }
    if (!element.IsInt())
        return errors.fail(s,
                           element.IsNumber()
                               ? QStringLiteral("expected a whole number within the range of int")
                               : QStringLiteral("expected a ") + QLatin1String(words.expected));
    *index = element.GetInt();
    return (*index >= 0 && *index < count) ||
           refuse(QStringLiteral("no %1 %2").arg(QLatin1String(words.one)).arg(*index));
}

// The port named by the last element of the edge end `end`.
bool resolvePort(const Graph& graph, NameIndex& names, int node, Side side, const JsonValue& path,
                 Token end, Errors& errors, int* port) {
    const Step step(errors.at, end);
    const auto find = [&](const QString& name) { return names.port(node, side, name); };
    return resolveElement(graph, node, kPortWords[int(side)], numPorts(graph, node, side), path,
                          int(path.Size()) - 1, find, errors, port);
}

// The node that the first `length` elements of `path`, at the readers' place, name.
bool resolvePath(const Graph& graph, NameIndex& names, const JsonValue& path, int length,
                 Errors& errors, int* node) {
    int current = kRoot;
    const auto find = [&](const QString& name) { return names.child(current, name); };
    for (int s = 0; s < length; ++s) {
        int index = -1;
        if (!resolveElement(graph, current, kChildWords, graph.numNodes(current), path, s, find,
                            errors, &index))
            return false;
        current = graph.getNode(index, current);
    }
    *node = current;
    return true;
}

// The node of the edge end `end`: all but the last element of its path, which names the port.
bool resolveEnd(const Graph& graph, NameIndex& names, const JsonValue& path, Token end,
                Errors& errors, int* node) {
    const Step step(errors.at, end);
    if (!expectArray(path, Token(), errors)) return false;
    if (path.Empty())
        return errors.fail(Token(), QStringLiteral("expected a node path ending in a port"));
    return resolvePath(graph, names, path, int(path.Size()) - 1, errors, node);
}

// Adds the edge at the readers' place, of the kind that its two nodes' places give.
bool addEdge(Graph& graph, NameIndex& names, const JsonValue& from, const JsonValue& to,
             Errors& errors) {
    int src = -1;
    int dst = -1;
    if (!resolveEnd(graph, names, from, "from", errors, &src) ||
        !resolveEnd(graph, names, to, "to", errors, &dst))
        return false;
    const bool siblings =
        src != kRoot && dst != kRoot && graph.parentNode(src) == graph.parentNode(dst);
    const bool down = !siblings && graph.parentNode(dst) == src;
    const bool up = !siblings && !down && graph.parentNode(src) == dst;
    if (!siblings && !down && !up)
        return errors.fail(
            Token(), describeNode(graph, src) + QStringLiteral(" and ") + describeNode(graph, dst) +
                         QStringLiteral(" are neither siblings nor parent and child"));
    // A regular edge leaves an output for an input, a down edge joins two inputs and an up
    // edge two outputs.
    const Side fromSide = down ? Side::Input : Side::Output;
    const Side toSide = up ? Side::Output : Side::Input;
    int srcPort = -1;
    int dstPort = -1;
    if (!resolvePort(graph, names, src, fromSide, from, "from", errors, &srcPort) ||
        !resolvePort(graph, names, dst, toSide, to, "to", errors, &dstPort))
        return false;

    if (siblings) {
        if (graph.addEdge(src, srcPort, dst, dstPort) >= 0) return true;
        return errors.fail(Token(), edgeRefusal(graph, src, srcPort, dst, dstPort));
    }
    if (down ? graph.addDownEdge(srcPort, dst, dstPort) >= 0
             : graph.addUpEdge(dstPort, src, srcPort) >= 0)
        return true;
    return errors.fail(Token(), down ? downEdgeRefusal(graph, srcPort, dst, dstPort)
                                     : upEdgeRefusal(graph, dstPort, src, srcPort));
}

// One port as a node lists it.
struct PortDesc {
    QString name;
    int group = Graph::kInvalidGroupRef;
};

// How many of the ports addNode can make: all of them where none is in a group, else none.
int ungrouped(const std::vector<PortDesc>& ports) {
    for (const PortDesc& port : ports) {
        if (port.group != Graph::kInvalidGroupRef) return 0;
    }
    return int(ports.size());
}

// Reads the node tree in pre-order, making each node as it is read, so that refs come out in
// document order; the parser's limit on nesting bounds the recursion.
class NodeReader {
public:
    NodeReader(const QVector<const char*>& extra, const NodeHook& hook, Errors& errors,
               Graph& graph)
        : _numKeys(kExtra + extra.size()), _hook(hook), _errors(errors), _graph(graph) {
        std::copy(kNodeKeys, kNodeKeys + kExtra, _keys);
        std::copy(extra.begin(), extra.end(), _keys + kExtra);
    }

    // The node at `at`, a child of `parent` (-1 for the root).
    bool read(const JsonValue& object, int parent, Token at) {
        const Step step(_errors.at, at);
        const JsonValue* m[kMaxKeys];
        QString name;
        int value = -1;
        int id = -1;
        int node = kRoot;
        if (!readMembers(object, _keys, _numKeys, _errors, m) ||
            (m[kName] && !readString(*m[kName], "name", _errors, &name)) ||
            (m[kValue] && !readInt(*m[kValue], "value", _errors, &value)) ||
            !readPorts(m[kInputs], "inputs", &_ports[0]) ||
            !readPorts(m[kOutputs], "outputs", &_ports[1]))
            return false;
        // Ports made with their node, as a host makes them, save growing each list port by port.
        const int made[2] = {parent < 0 ? 0 : ungrouped(_ports[0]),
                             parent < 0 ? 0 : ungrouped(_ports[1])};
        if (parent < 0)
            _graph.setNodeName(kRoot, name);
        else
            node = _graph.addNode(name, made[0], made[1], parent);
        if (value != -1) _graph.setNodeValue(node, value);
        for (const Side side : {Side::Input, Side::Output}) {
            const std::vector<PortDesc>& ports = _ports[int(side)];
            for (int p = 0; p < int(ports.size()); ++p) {
                const PortDesc& port = ports[size_t(p)];
                if (p >= made[int(side)])
                    side == Side::Input ? _graph.addInput(node, port.name, port.group)
                                        : _graph.addOutput(node, port.name, port.group);
                else if (!port.name.isEmpty())
                    side == Side::Input ? _graph.setInputName(node, p, port.name)
                                        : _graph.setOutputName(node, p, port.name);
            }
        }
        if (!readGroups(m[kInputGroups], "inputGroups", node, Side::Input) ||
            !readGroups(m[kOutputGroups], "outputGroups", node, Side::Output))
            return false;
        if (m[kId] && parent < 0) return _errors.fail("id", QStringLiteral("the root has no id"));
        if (m[kId] && !readInt(*m[kId], "id", _errors, &id)) return false;
        _ids.append(id);
        const JsonValue* children = m[kChildren];
        if ((children && !expectArray(*children, "children", _errors)) ||
            (_hook && !_hook(node, m)))
            return false;
        const Step list(_errors.at, "children");
        for (rapidjson::SizeType c = 0; children && c < children->Size(); ++c) {
            if (!read((*children)[c], node, int(c))) return false;
        }
        return true;
    }

    // By node ref: the id the document gives, or -1.
    const QVector<int>& ids() const { return _ids; }

private:
    bool readPorts(const JsonValue* list, const char* key, std::vector<PortDesc>* ports) {
        ports->clear();
        if (!list) return true;
        if (!expectArray(*list, key, _errors)) return false;
        const Step step(_errors.at, key);
        for (rapidjson::SizeType p = 0; p < list->Size(); ++p) {
            static const char* const kPortKeys[] = {"name", "group"};
            const JsonValue& entry = (*list)[p];
            const JsonValue* m[2];
            PortDesc port;
            if (entry.IsString()) {
                port.name = toQString(entry);
            } else if (!entry.IsObject()) {
                return _errors.fail(int(p), QStringLiteral("expected a port name or object"));
            } else {
                const Step element(_errors.at, int(p));
                if (!readMembers(entry, kPortKeys, 2, _errors, m) ||
                    (m[0] && !readString(*m[0], "name", _errors, &port.name)) ||
                    (m[1] && !readInt(*m[1], "group", _errors, &port.group)))
                    return false;
            }
            ports->push_back(port);
        }
        return true;
    }

    bool readGroups(const JsonValue* list, const char* key, int node, Side side) {
        if (!list) return true;
        if (!expectArray(*list, key, _errors)) return false;
        const Step step(_errors.at, key);
        for (rapidjson::SizeType g = 0; g < list->Size(); ++g) {
            QString name;
            if (!readString((*list)[g], int(g), _errors, &name)) return false;
            side == Side::Input ? _graph.addInputGroup(node, name)
                                : _graph.addOutputGroup(node, name);
        }
        return true;
    }

    const char* _keys[kMaxKeys];
    int _numKeys;
    const NodeHook& _hook;
    Errors& _errors;
    Graph& _graph;
    std::vector<PortDesc> _ports[2];  // the node's being read, by Side; kept for their capacity
    QVector<int> _ids;
};

// Where node `node` of a graph read at `at` is: nodes were made in document order.
Path nodeAt(const Graph& graph, int node, Path at) {
    QVarLengthArray<int, 32> indexes;
    for (int n = node; n != kRoot; n = graph.parentNode(n)) indexes.append(graph.indexOfNode(n));
    at.push("root");
    for (int i = indexes.size() - 1; i >= 0; --i) {
        at.push("children");
        at.push(indexes.at(i));
    }
    return at;
}

// With ids, refs follow them: 1..n-1, each above its parent's and rising along each list of
// children, as addNode hands them out. Nodes were made in document order and are renumbered.
bool applyIds(const QVector<int>& ids, Errors& errors, Graph* graph) {
    const int count = ids.size();
    const bool withIds = count > 1 && ids.at(1) >= 0;
    const auto fail = [&](int n, Token at, const QString& problem) {
        return errors.fail(nodeAt(*graph, n, errors.at), at, problem);
    };
    if (!withIds) {
        for (int n = 2; n < count; ++n) {
            if (ids.at(n) >= 0)
                return fail(n, "id", QStringLiteral("ids must be given on every node or none"));
        }
        return true;
    }
    QVector<bool> used(count, false);
    QVector<int> lastChildId(count, 0);
    for (int n = 1; n < count; ++n) {
        const int id = ids.at(n);
        if (id < 0) return fail(n, Token(), QStringLiteral("this node has no id"));
        if (id == 0 || id >= count)
            return fail(n, "id", QStringLiteral("id %1 is outside 1..%2").arg(id).arg(count - 1));
        if (used.at(id)) return fail(n, "id", QStringLiteral("id %1 is used twice").arg(id));
        const int parent = graph->parentNode(n);
        const int parentId = parent == kRoot ? 0 : ids.at(parent);
        if (id < parentId)
            return fail(n, "id",
                        QStringLiteral("id %1 is below its parent's id %2").arg(id).arg(parentId));
        if (id < lastChildId.at(parent))
            return fail(n, "id",
                        QStringLiteral("id %1 is below the id of an earlier sibling").arg(id));
        lastChildId[parent] = id;
        used[id] = true;
    }
    QVector<int> refOf(ids);
    refOf[0] = kRoot;
    GraphAccess::renumberNodes(*graph, refOf);
    return true;
}

// Writes nodes in pre-order, then edges; the writer's limit on nesting bounds the recursion.
class GraphWriter {
public:
    GraphWriter(const Graph& graph, const GraphWriteOptions& options, JsonWriter& out)
        : _graph(graph), _options(options), _out(out), _names(graph) {
        // Purge renumbers the live nodes in table order; ids are written only when that order
        // is not the order in which the tree lists them.
        const QVector<int> order = preOrder();
        const int count = _graph.numNodesGlobal();
        _idOf.fill(-1, count);
        _segment.fill(kUnknown, count);
        int next = 0;
        for (int n = 0; n < count; ++n) {
            if (!_graph.isValidNode(n)) continue;
            _withIds = _withIds || next >= order.size() || order.at(next) != n;
            _idOf[n] = next++;
        }
        _withIds = _withIds || next != order.size();
    }

    bool write(QString* error) {
        _out.key("root");
        if (!node(kRoot, error)) return false;
        _out.key("edges");
        _out.beginArray();
        for (int e = 0; e < _graph.numEdgesGlobal(); ++e) {
            const bool down = _graph.isDownEdge(e);
            const bool regular = _graph.isRegularEdge(e);
            if (!down && !regular && !_graph.isUpEdge(e)) continue;
            // Each end's side as addEdge reads it.
            _out.beginObject(JsonWriter::Layout::Line);
            _out.key("from");
            end(_graph.edgeSourceNode(e), down ? Side::Input : Side::Output,
                _graph.edgeSourceIndex(e));
            _out.key("to");
            end(_graph.edgeDestNode(e), regular || down ? Side::Input : Side::Output,
                _graph.edgeDestIndex(e));
            _out.end();
        }
        _out.end();
        return true;
    }

    // The path of `node`'s elements, top first.
    void path(int node) {
        QVarLengthArray<int, 16> nodes;
        for (int n = node; n != kRoot && _graph.isValidNode(n); n = _graph.parentNode(n))
            nodes.append(n);
        for (int i = nodes.size() - 1; i >= 0; --i) segment(nodes.at(i));
    }

private:
    static constexpr int kUnknown = -2;
    static constexpr int kNamed = -1;

    // Graphs may nest deeper than a document, so this walk keeps a stack of its own.
    QVector<int> preOrder() const {
        QVector<int> order;
        QVector<int> stack{kRoot};
        while (!stack.isEmpty()) {
            const int n = stack.takeLast();
            order.append(n);
            for (int c = _graph.numNodes(n) - 1; c >= 0; --c) stack.append(_graph.getNode(c, n));
        }
        return order;
    }

    bool tooDeep(int node, QString* error) const {
        if (error)
            *error = describeNode(_graph, node) +
                     QStringLiteral(
                         " nests too deep for a document, which holds at most %1"
                         " levels of arrays and objects")
                         .arg(kJsonMaxDepth);
        return false;
    }

    bool node(int n, QString* error) {
        const bool leaf = _graph.numNodes(n) == 0;
        if (!_out.beginObject(leaf ? JsonWriter::Layout::Line : JsonWriter::Layout::Block))
            return tooDeep(n, error);
        _out.key("name").string(_graph.nodeName(n));
        if (n != kRoot && _options.decorate && !_options.decorate(n, _out, error)) return false;
        if (_withIds && n != kRoot) _out.key("id").integer(_idOf.at(n));
        if (_options.values && _graph.nodeValue(n) != -1)
            _out.key("value").integer(_graph.nodeValue(n));
        const bool ports = n != kRoot || _options.rootPorts;
        if ((ports && (!writePorts(n, Side::Input) || !writePorts(n, Side::Output))) ||
            !writeGroups(n, Side::Input) || !writeGroups(n, Side::Output))
            return tooDeep(n, error);
        if (leaf) {
            _out.end();
            return true;
        }
        _out.key("children");
        if (!_out.beginArray()) return tooDeep(n, error);
        for (int c = 0; c < _graph.numNodes(n); ++c) {
            if (!node(_graph.getNode(c, n), error)) return false;
        }
        _out.end();
        _out.end();
        return true;
    }

    bool writePorts(int node, Side side) {
        const int count = numPorts(_graph, node, side);
        if (count == 0) return true;
        _out.key(side == Side::Input ? "inputs" : "outputs");
        if (!_out.beginArray(JsonWriter::Layout::Line)) return false;
        for (int p = 0; p < count; ++p) {
            const int group = portGroup(_graph, node, side, p);
            if (group == Graph::kInvalidGroupRef) {
                _out.string(portName(_graph, node, side, p));
                continue;
            }
            if (!_out.beginObject()) return false;
            _out.key("name").string(portName(_graph, node, side, p));
            _out.key("group").integer(group);
            _out.end();
        }
        _out.end();
        return true;
    }

    bool writeGroups(int node, Side side) {
        const int count = numGroups(_graph, node, side);
        if (count == 0) return true;
        _out.key(side == Side::Input ? "inputGroups" : "outputGroups");
        if (!_out.beginArray(JsonWriter::Layout::Line)) return false;
        for (int g = 0; g < count; ++g) _out.string(groupName(_graph, node, side, g));
        _out.end();
        return true;
    }

    void end(int node, Side side, int port) {
        _out.beginArray(JsonWriter::Layout::Line);
        path(node);
        // A port by its name where no other port of its side shares it, else by its index.
        const QString name = portName(_graph, node, side, port);
        if (_names.port(node, side, name) >= 0)
            _out.string(name);
        else
            _out.integer(port);
        _out.end();
    }

    // A node in a path: its name where no sibling shares it, else its child index.
    void segment(int node) {
        if (_segment.at(node) == kUnknown) {
            // Worked out for all the siblings at once.
            const int parent = _graph.parentNode(node);
            QHash<QString, int> named;
            for (int c = 0; c < _graph.numNodes(parent); ++c)
                ++named[_graph.nodeName(_graph.getNode(c, parent))];
            for (int c = 0; c < _graph.numNodes(parent); ++c) {
                const int child = _graph.getNode(c, parent);
                _segment[child] = named.value(_graph.nodeName(child)) == 1 ? kNamed : c;
            }
        }
        if (_segment.at(node) == kNamed)
            _out.string(_graph.nodeName(node));
        else
            _out.integer(_segment.at(node));
    }

    const Graph& _graph;
    const GraphWriteOptions& _options;
    JsonWriter& _out;
    NameIndex _names;
    QVector<int> _idOf;  // by node ref: its ref after purge
    bool _withIds = false;
    QVector<int> _segment;  // by node ref: kNamed, a child index or kUnknown
};

}  // namespace

bool readNodes(const JsonValue* root, Token at, const QVector<const char*>& extra,
               const NodeHook& hook, Errors& errors, Graph* graph) {
    const Step step(errors.at, at);
    if (!require(root, "root", errors)) return false;
    NodeReader reader(extra, hook, errors, *graph);
    return reader.read(*root, -1, "root") && applyIds(reader.ids(), errors, graph);
}

bool readEdges(const JsonValue* edges, Token at, Errors& errors, Graph* graph) {
    const Step step(errors.at, at);
    if (!edges) return true;
    if (!expectArray(*edges, "edges", errors)) return false;
    const Step list(errors.at, "edges");
    // Every edge is checked for its two members before any is added.
    static const char* const kEdgeKeys[] = {"from", "to"};
    std::vector<const JsonValue*> ends(2 * size_t(edges->Size()));
    for (rapidjson::SizeType e = 0; e < edges->Size(); ++e) {
        const Step edge(errors.at, int(e));
        const JsonValue** m = &ends[2 * size_t(e)];
        if (!readMembers((*edges)[e], kEdgeKeys, 2, errors, m) || !require(m[0], "from", errors) ||
            !require(m[1], "to", errors))
            return false;
    }
    NameIndex names(*graph);
    for (rapidjson::SizeType e = 0; e < edges->Size(); ++e) {
        const Step edge(errors.at, int(e));
        if (!addEdge(*graph, names, *ends[2 * size_t(e)], *ends[2 * size_t(e) + 1], errors))
            return false;
    }
    return true;
}

bool resolveNode(const Graph& graph, const JsonValue& path, Token at, Errors& errors, int* node) {
    NameIndex names(graph);
    const Step step(errors.at, at);
    return expectArray(path, Token(), errors) &&
           resolvePath(graph, names, path, int(path.Size()), errors, node);
}

bool writeGraph(const Graph& graph, const GraphWriteOptions& options, JsonWriter& writer,
                QString* error) {
    return GraphWriter(graph, options, writer).write(error);
}

void writeNodePath(const Graph& graph, int node, JsonWriter& writer) {
    const GraphWriteOptions options;
    writer.beginArray(JsonWriter::Layout::Line);
    GraphWriter(graph, options, writer).path(node);
    writer.end();
}

}  // namespace detail

using namespace detail;

bool saveGraph(const Graph& graph, QByteArray* text, QString* error) {
    if (!text) {
        if (error) *error = QStringLiteral("no text to save into");
        return false;
    }
    // About what a graph of unnamed nodes needs per node and per edge.
    JsonWriter out(int(qMin<qint64>(
        64 + 64 * qint64(graph.numNodesGlobal()) + 48 * qint64(graph.numEdgesGlobal()), 1 << 26)));
    out.beginObject();
    out.key("format").string(QLatin1String(kGraphJsonFormat));
    out.key("version").integer(kJsonVersion);
    if (!writeGraph(graph, GraphWriteOptions(), out, error)) return false;
    out.end();
    *text = out.take();
    return true;
}

QByteArray saveGraph(const Graph& graph) {
    QByteArray text;
    saveGraph(graph, &text, nullptr);
    return text;
}

QJsonObject graphToJson(const Graph& graph) {
    return QJsonDocument::fromJson(saveGraph(graph)).object();
}

bool loadGraph(const QByteArray& text, Graph* graph, QString* error) {
    Errors errors;
    JsonDocument document;
    Graph built;
    static const char* const kKeys[] = {"format", "version", "root", "edges"};
    const JsonValue* m[4];
    if (!graph) {
        errors.fail(Token(), QStringLiteral("no graph to load into"));
    } else if (readDocument(text, kGraphJsonFormat, kKeys, 4, &document, errors, m) &&
               readNodes(m[2], Token(), {}, NodeHook(), errors, &built) &&
               readEdges(m[3], Token(), errors, &built)) {
        *graph = std::move(built);
        return true;
    }
    if (error) *error = errors.text();
    return false;
}

bool graphFromJson(const QJsonObject& json, Graph* graph, QString* error) {
    return loadGraph(QJsonDocument(json).toJson(QJsonDocument::Compact), graph, error);
}

}  // namespace Orv
}  // namespace Vantrel
