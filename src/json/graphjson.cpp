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

// A node's members, then the extra ones a renderer allows.
const char* const kNodeKeys[] = {"name",        "value",        "inputs",   "outputs",
                                 "inputGroups", "outputGroups", "children", "id"};
enum NodeKey { kName, kValue, kInputs, kOutputs, kInputGroups, kOutputGroups, kChildren, kId };
const int kNumNodeKeys = 8;
const int kMaxKeys = kNumNodeKeys + 3;

// Finds children and ports by name on a graph that no longer changes shape, one table per list,
// made when first asked, so that a search does not cost the length of a long list.
class NameIndex {
public:
    explicit NameIndex(const Graph& graph) : _graph(graph) {}

    // The live child of `parent` so named: its ref, -1 for none, -2 for several.
    int child(int parent, const QString& name) {
        return find(_children, parent, name, _graph.numNodes(parent), [&](int c) {
            const int child = _graph.getNode(c, parent);
            return std::make_pair(_graph.nodeName(child), child);
        });
    }

    // The port of the node's side so named: its index, -1 for none, -2 for several.
    int port(int node, Side side, const QString& name) {
        const int count = numPorts(_graph, node, side);
        // A short list is searched as it is: a table for each would cost more than it saves.
        if (count > kShortList)
            return find(_ports[int(side)], node, name, count,
                        [&](int p) { return std::make_pair(portName(_graph, node, side, p), p); });
        int found = -1;
        for (int p = 0; p < count && found != -2; ++p) {
            if (portName(_graph, node, side, p) == name) found = found >= 0 ? -2 : p;
        }
        return found;
    }

private:
    using Tables = QHash<int, QHash<QString, int>>;
    static constexpr int kShortList = 8;

    template <typename Entry>
    static int find(Tables& tables, int list, const QString& name, int count, Entry entry) {
        auto table = tables.find(list);
        if (table == tables.end()) {
            table = tables.insert(list, QHash<QString, int>());
            for (int i = 0; i < count; ++i) {
                const std::pair<QString, int> named = entry(i);
                auto known = table->find(named.first);
                if (known == table->end())
                    table->insert(named.first, named.second);
                else
                    *known = -2;
            }
        }
        return table->value(name, -1);
    }

    const Graph& _graph;
    Tables _children;
    Tables _ports[2];  // by Side
};

// The place of a path (element -1) or of one of its elements.
using PathPlace = std::function<Pointer(int element)>;

// An element of a path that must be a child or port index.
bool readIndex(const JsonValue& element, const PathPlace& at, int s, const char* expected,
               Errors& errors, int* index) {
    if (element.IsInt()) {
        *index = element.GetInt();
        return true;
    }
    if (element.IsNumber())
        return errors.fail(at(s),
                           QStringLiteral("expected a whole number within the range of int"));
    return errors.fail(at(s), QStringLiteral("expected a ") + QLatin1String(expected));
}

// The port named by the last element of an edge end: a name unique in the list, or an index.
bool resolvePort(const Graph& graph, NameIndex& names, int node, Side side, const JsonValue& path,
                 const PathPlace& at, Errors& errors, int* port) {
    const int s = int(path.Size()) - 1;
    const JsonValue& element = path[rapidjson::SizeType(s)];
    if (element.IsString()) {
        const QString name = toQString(element);
        const int found = names.port(node, side, name);
        if (found == -2)
            return errors.fail(at(s), describeNode(graph, node) + QStringLiteral(" has several ") +
                                          QLatin1String(sideName(side)) +
                                          QStringLiteral("s named ") + quoted(name) +
                                          QStringLiteral("; use its index"));
        if (found < 0)
            return errors.fail(at(s), describeNode(graph, node) + QStringLiteral(" has no ") +
                                          QLatin1String(sideName(side)) +
                                          QStringLiteral(" named ") + quoted(name));
        *port = found;
        return true;
    }
    int index = -1;
    if (!readIndex(element, at, s, "port name or index", errors, &index)) return false;
    if (index < 0 || index >= numPorts(graph, node, side))
        return errors.fail(at(s), describeNode(graph, node) + QStringLiteral(" has no ") +
                                      QLatin1String(sideName(side)) + QLatin1Char(' ') +
                                      QString::number(index));
    *port = index;
    return true;
}

// The node that the first `length` elements of `path` name.
bool resolvePath(const Graph& graph, NameIndex& names, const JsonValue& path, int length,
                 const PathPlace& at, Errors& errors, int* node) {
    int current = kRoot;
    for (int s = 0; s < length; ++s) {
        const JsonValue& element = path[rapidjson::SizeType(s)];
        if (element.IsString()) {
            const QString name = toQString(element);
            const int child = names.child(current, name);
            if (child == -1)
                return errors.fail(at(s), describeNode(graph, current) +
                                              QStringLiteral(" has no child named ") +
                                              quoted(name));
            if (child == -2)
                return errors.fail(at(s), describeNode(graph, current) +
                                              QStringLiteral(" has several children named ") +
                                              quoted(name) + QStringLiteral("; use a child index"));
            current = child;
            continue;
        }
        int index = -1;
        if (!readIndex(element, at, s, "node name or child index", errors, &index)) return false;
        if (index < 0 || index >= graph.numNodes(current))
            return errors.fail(at(s), describeNode(graph, current) +
                                          QStringLiteral(" has no child ") +
                                          QString::number(index));
        current = graph.getNode(index, current);
    }
    *node = current;
    return true;
}

// The node that an edge end names: all but the last element of its path, which names the port.
bool resolveEnd(const Graph& graph, NameIndex& names, const JsonValue& path, const PathPlace& at,
                Errors& errors, int* node) {
    if (!expectArray(
            path, [&at] { return at(-1); }, errors))
        return false;
    if (path.Empty())
        return errors.fail(at(-1), QStringLiteral("expected a node path ending in a port"));
    return resolvePath(graph, names, path, int(path.Size()) - 1, at, errors, node);
}

// Adds one edge, choosing its kind from where its two nodes stand; names the refusal.
template <typename At>
bool addEdge(Graph& graph, NameIndex& names, const JsonValue& from, const PathPlace& fromAt,
             const JsonValue& to, const PathPlace& toAt, const At& place, Errors& errors) {
    int src = -1;
    int dst = -1;
    if (!resolveEnd(graph, names, from, fromAt, errors, &src) ||
        !resolveEnd(graph, names, to, toAt, errors, &dst))
        return false;
    const bool siblings =
        src != kRoot && dst != kRoot && graph.parentNode(src) == graph.parentNode(dst);
    const bool down = !siblings && graph.parentNode(dst) == src;
    const bool up = !siblings && !down && graph.parentNode(src) == dst;
    if (!siblings && !down && !up)
        return errors.fail(
            place(), describeNode(graph, src) + QStringLiteral(" and ") + describeNode(graph, dst) +
                         QStringLiteral(" are neither siblings nor parent and child"));
    // A regular edge leaves an output for an input, a down edge joins two inputs and an up
    // edge two outputs.
    const Side fromSide = down ? Side::Input : Side::Output;
    const Side toSide = up ? Side::Output : Side::Input;
    int srcPort = -1;
    int dstPort = -1;
    if (!resolvePort(graph, names, src, fromSide, from, fromAt, errors, &srcPort) ||
        !resolvePort(graph, names, dst, toSide, to, toAt, errors, &dstPort))
        return false;

    if (siblings) {
        if (graph.addEdge(src, srcPort, dst, dstPort) >= 0) return true;
        return errors.fail(place(), edgeRefusal(graph, src, srcPort, dst, dstPort));
    }
    if (down ? graph.addDownEdge(srcPort, dst, dstPort) >= 0
             : graph.addUpEdge(dstPort, src, srcPort) >= 0)
        return true;
    return errors.fail(place(), down ? downEdgeRefusal(graph, srcPort, dst, dstPort)
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

// Reads the node tree in pre-order with a stack of open child lists, never recursing, and makes
// each node on the graph as soon as it is read, so that refs come out in document order.
class NodeReader {
public:
    NodeReader(const Pointer& at, const QVector<const char*>& extra, const NodeHook& hook,
               Errors& errors, Graph& graph)
        : _at(at),
          _numKeys(kNumNodeKeys + extra.size()),
          _hook(hook),
          _errors(errors),
          _graph(graph) {
        std::copy(kNodeKeys, kNodeKeys + kNumNodeKeys, _keys);
        std::copy(extra.begin(), extra.end(), _keys + kNumNodeKeys);
    }

    bool read(const JsonValue& root) {
        struct Open {
            const JsonValue* children;
            int node;
            rapidjson::SizeType next;
        };
        std::vector<Open> open;
        const JsonValue* children = nullptr;
        int node = kRoot;
        if (!readNode(root, -1, 0, &node, &children)) return false;
        if (children) open.push_back(Open{children, node, 0});
        while (!open.empty()) {
            Open& top = open.back();
            if (top.next == top.children->Size()) {
                open.pop_back();
                continue;
            }
            const rapidjson::SizeType index = top.next++;
            if (!readNode((*top.children)[index], top.node, int(index), &node, &children))
                return false;
            if (children) open.push_back(Open{children, node, 0});
        }
        return true;
    }

    // By node ref: the id the document gives, or -1.
    const QVector<int>& ids() const { return _ids; }

private:
    bool readNode(const JsonValue& object, int parent, int index, int* node,
                  const JsonValue** children) {
        const auto at = [&] {
            return parent < 0 ? _at / "root" : nodeAt(_graph, parent, _at) / "children" / index;
        };
        const JsonValue* m[kMaxKeys];
        QString name;
        int value = -1;
        int id = -1;
        if (!readMembers(object, _keys, _numKeys, at, _errors, m)) return false;
        if (m[kName] && !readString(
                            *m[kName], [&] { return at() / "name"; }, _errors, &name))
            return false;
        if (m[kValue] && !readInt(
                             *m[kValue], [&] { return at() / "value"; }, _errors, &value))
            return false;
        if (!readPorts(m[kInputs], at, "inputs", &_ports[0]) ||
            !readPorts(m[kOutputs], at, "outputs", &_ports[1]))
            return false;
        // Ports made with their node, as a host makes them, save growing each list port by port.
        const int made[2] = {parent < 0 ? 0 : ungrouped(_ports[0]),
                             parent < 0 ? 0 : ungrouped(_ports[1])};
        if (parent < 0)
            _graph.setNodeName(kRoot, name);
        else
            *node = _graph.addNode(name, made[0], made[1], parent);
        if (value != -1) _graph.setNodeValue(*node, value);
        for (const Side side : {Side::Input, Side::Output}) {
            const std::vector<PortDesc>& ports = _ports[int(side)];
            for (int p = 0; p < int(ports.size()); ++p) {
                const PortDesc& port = ports[size_t(p)];
                if (p >= made[int(side)])
                    side == Side::Input ? _graph.addInput(*node, port.name, port.group)
                                        : _graph.addOutput(*node, port.name, port.group);
                else if (!port.name.isEmpty())
                    side == Side::Input ? _graph.setInputName(*node, p, port.name)
                                        : _graph.setOutputName(*node, p, port.name);
            }
        }
        if (!readGroups(m[kInputGroups], at, "inputGroups", *node, Side::Input) ||
            !readGroups(m[kOutputGroups], at, "outputGroups", *node, Side::Output))
            return false;
        if (m[kId]) {
            if (parent < 0) return _errors.fail(at() / "id", QStringLiteral("the root has no id"));
            if (!readInt(
                    *m[kId], [&] { return at() / "id"; }, _errors, &id))
                return false;
        }
        _ids.append(id);
        *children = m[kChildren];
        if (*children && !expectArray(
                             **children, [&] { return at() / "children"; }, _errors))
            return false;
        if (*children && (*children)->Empty()) *children = nullptr;
        return !_hook ||
               _hook(*node,
                     NodeMembers{m[kInputs],
                                 m[kOutputs],
                                 {m[kNumNodeKeys], m[kNumNodeKeys + 1], m[kNumNodeKeys + 2]}});
    }

    template <typename At>
    bool readPorts(const JsonValue* list, const At& node, const char* key,
                   std::vector<PortDesc>* ports) {
        ports->clear();
        if (!list) return true;
        const auto at = [&] { return node() / key; };
        if (!expectArray(*list, at, _errors)) return false;
        for (rapidjson::SizeType p = 0; p < list->Size(); ++p) {
            const JsonValue& entry = (*list)[p];
            const auto portAt = [&] { return at() / int(p); };
            PortDesc port;
            if (entry.IsString()) {
                port.name = toQString(entry);
            } else {
                static const char* const kPortKeys[] = {"name", "group"};
                const JsonValue* m[2];
                if (!entry.IsObject())
                    return _errors.fail(portAt(), QStringLiteral("expected a port name or object"));
                if (!readMembers(entry, kPortKeys, 2, portAt, _errors, m) ||
                    (m[0] && !readString(
                                 *m[0], [&] { return portAt() / "name"; }, _errors, &port.name)) ||
                    (m[1] && !readInt(
                                 *m[1], [&] { return portAt() / "group"; }, _errors, &port.group)))
                    return false;
            }
            ports->push_back(port);
        }
        return true;
    }

    template <typename At>
    bool readGroups(const JsonValue* list, const At& node, const char* key, int ref, Side side) {
        if (!list) return true;
        const auto at = [&] { return node() / key; };
        if (!expectArray(*list, at, _errors)) return false;
        for (rapidjson::SizeType g = 0; g < list->Size(); ++g) {
            QString name;
            if (!readString((*list)[g], [&] { return at() / int(g); }, _errors, &name))
                return false;
            side == Side::Input ? _graph.addInputGroup(ref, name)
                                : _graph.addOutputGroup(ref, name);
        }
        return true;
    }

    const Pointer& _at;
    const char* _keys[kMaxKeys];
    int _numKeys;
    const NodeHook& _hook;
    Errors& _errors;
    Graph& _graph;
    std::vector<PortDesc> _ports[2];  // the node's being read, by Side; kept for their capacity
    QVector<int> _ids;
};

// With ids, refs follow them: they must be 1..n-1, each above its parent's and rising along
// each list of children, as refs handed out by addNode are. Nodes were made in document order
// and are renumbered.
bool applyIds(const QVector<int>& ids, const Pointer& at, Errors& errors, Graph* graph) {
    const int count = ids.size();
    const bool withIds = count > 1 && ids.at(1) >= 0;
    if (!withIds) {
        for (int n = 2; n < count; ++n) {
            if (ids.at(n) >= 0)
                return errors.fail(nodeAt(*graph, n, at) / "id",
                                   QStringLiteral("ids must be given on every node or none"));
        }
        return true;
    }
    QVector<bool> used(count, false);
    QVector<int> lastChildId(count, 0);
    for (int n = 1; n < count; ++n) {
        const int id = ids.at(n);
        const auto idAt = [&] { return nodeAt(*graph, n, at) / "id"; };
        if (id < 0)
            return errors.fail(nodeAt(*graph, n, at), QStringLiteral("this node has no id"));
        if (id == 0 || id >= count)
            return errors.fail(idAt(),
                               QStringLiteral("id %1 is outside 1..%2").arg(id).arg(count - 1));
        if (used.at(id)) return errors.fail(idAt(), QStringLiteral("id %1 is used twice").arg(id));
        const int parent = graph->parentNode(n);
        const int parentId = parent == kRoot ? 0 : ids.at(parent);
        if (id < parentId)
            return errors.fail(
                idAt(), QStringLiteral("id %1 is below its parent's id %2").arg(id).arg(parentId));
        if (id < lastChildId.at(parent))
            return errors.fail(
                idAt(), QStringLiteral("id %1 is below the id of an earlier sibling").arg(id));
        lastChildId[parent] = id;
        used[id] = true;
    }
    QVector<int> refOf(ids);
    refOf[0] = kRoot;
    GraphAccess::renumberNodes(*graph, refOf);
    return true;
}

// Writes a graph's members without recursing: nodes in pre-order with a stack of open child
// lists, then the edges.
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
        std::vector<std::pair<int, int>> open;  // a node and its next child
        if (!node(kRoot, &open, error)) return false;
        while (!open.empty()) {
            const int parent = open.back().first;
            const int next = open.back().second++;
            if (next == _graph.numNodes(parent)) {
                _out.end();  // children
                _out.end();  // the node
                open.pop_back();
            } else if (!node(_graph.getNode(next, parent), &open, error)) {
                return false;
            }
        }
        _out.key("edges");
        _out.beginArray();
        for (int e = 0; e < _graph.numEdgesGlobal(); ++e) {
            const bool down = _graph.isDownEdge(e);
            const bool regular = _graph.isRegularEdge(e);
            if (!down && !regular && !_graph.isUpEdge(e)) continue;
            // A regular edge leaves an output for an input, a down edge joins two inputs and an
            // up edge two outputs.
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

    // Opens the node's object and writes its members; a node with children is left open, with
    // its list of children, on `open`.
    bool node(int n, std::vector<std::pair<int, int>>* open, QString* error) {
        const bool leaf = _graph.numNodes(n) == 0;
        if (!_out.beginObject(leaf ? JsonWriter::Layout::Line : JsonWriter::Layout::Block))
            return tooDeep(n, error);
        _out.key("name").string(_graph.nodeName(n));
        if (n != kRoot && _options.decorate && !_options.decorate(n, _out, error)) return false;
        if (_withIds && n != kRoot) {
            _out.key("id").integer(_idOf.at(n));
        }
        if (_options.values && _graph.nodeValue(n) != -1) {
            _out.key("value").integer(_graph.nodeValue(n));
        }
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
        open->emplace_back(n, 0);
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
            const int count = _graph.numNodes(parent);
            QHash<QString, int> named;
            for (int c = 0; c < count; ++c) ++named[_graph.nodeName(_graph.getNode(c, parent))];
            for (int c = 0; c < count; ++c) {
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

bool writeGraphDocument(const Graph& graph, QByteArray* text, QString* error) {
    // About what a graph of unnamed nodes needs per node and per edge.
    JsonWriter out(int(qMin<qint64>(
        64 + 64 * qint64(graph.numNodesGlobal()) + 48 * qint64(graph.numEdgesGlobal()), 1 << 26)));
    out.beginObject();
    out.key("format").string(kGraphJsonFormat);
    out.key("version").integer(kJsonVersion);
    if (!writeGraph(graph, GraphWriteOptions(), out, error)) return false;
    out.end();
    *text = out.take();
    return true;
}

}  // namespace

Pointer nodeAt(const Graph& graph, int node, const Pointer& at) {
    QVarLengthArray<int, 32> indexes;
    for (int n = node; n != kRoot; n = graph.parentNode(n)) indexes.append(graph.indexOfNode(n));
    Pointer place = at / "root";
    for (int i = indexes.size() - 1; i >= 0; --i) place = place / "children" / indexes.at(i);
    return place;
}

bool readNodes(const JsonValue* root, const Pointer& at, const QVector<const char*>& extra,
               const NodeHook& hook, Errors& errors, Graph* graph) {
    if (!require(root, "root", at, errors)) return false;
    NodeReader reader(at, extra, hook, errors, *graph);
    return reader.read(*root) && applyIds(reader.ids(), at, errors, graph);
}

bool readEdges(const JsonValue* edges, const Pointer& at, Errors& errors, Graph* graph) {
    if (!edges) return true;
    if (!expectArray(*edges, at / "edges", errors)) return false;
    // Every edge is checked for its two members before any is added.
    static const char* const kEdgeKeys[] = {"from", "to"};
    std::vector<const JsonValue*> ends(2 * size_t(edges->Size()));
    for (rapidjson::SizeType e = 0; e < edges->Size(); ++e) {
        const auto edgeAt = [&] { return at / "edges" / int(e); };
        const JsonValue** m = &ends[2 * size_t(e)];
        if (!readMembers((*edges)[e], kEdgeKeys, 2, edgeAt, errors, m) ||
            !require(m[0], "from", edgeAt, errors) || !require(m[1], "to", edgeAt, errors))
            return false;
    }
    NameIndex names(*graph);
    // Made once: only an error asks where it is.
    int e = 0;
    const auto edgeAt = [&at, &e] { return at / "edges" / e; };
    const PathPlace fromAt = [&](int s) {
        return s < 0 ? edgeAt() / "from" : edgeAt() / "from" / s;
    };
    const PathPlace toAt = [&](int s) { return s < 0 ? edgeAt() / "to" : edgeAt() / "to" / s; };
    for (; e < int(edges->Size()); ++e) {
        if (!addEdge(*graph, names, *ends[2 * size_t(e)], fromAt, *ends[2 * size_t(e) + 1], toAt,
                     edgeAt, errors))
            return false;
    }
    return true;
}

bool resolveNode(const Graph& graph, const JsonValue& path, const Pointer& at, Errors& errors,
                 int* node) {
    NameIndex names(graph);
    return expectArray(path, at, errors) &&
           resolvePath(
               graph, names, path, int(path.Size()), [&at](int s) { return s < 0 ? at : at / s; },
               errors, node);
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
    return writeGraphDocument(graph, text, error);
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
        errors.fail(Pointer(), QStringLiteral("no graph to load into"));
    } else if (parseJson(text, &document, errors) &&
               readMembers(document, kKeys, 4, Pointer(), errors, m) &&
               checkHeader(m[0], m[1], kGraphJsonFormat, errors) &&
               readNodes(m[2], Pointer(), {}, NodeHook(), errors, &built) &&
               readEdges(m[3], Pointer(), errors, &built)) {
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
