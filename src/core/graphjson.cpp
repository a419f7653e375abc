#include <Orv/Graph.h>
#include <Orv/Json.h>

#include "graphjson_p.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLocale>

#include <algorithm>
#include <climits>
#include <cmath>

namespace Vantrel {
namespace Orv {

const char* const kGraphJsonFormat = "orv-graph";
const char* const kRendererJsonFormat = "orv-renderer";

namespace JsonDetail {

namespace {

const QString kName = QStringLiteral("name");
const QString kValue = QStringLiteral("value");
const QString kId = QStringLiteral("id");
const QString kInputs = QStringLiteral("inputs");
const QString kOutputs = QStringLiteral("outputs");
const QString kInputGroups = QStringLiteral("inputGroups");
const QString kOutputGroups = QStringLiteral("outputGroups");
const QString kChildren = QStringLiteral("children");
const QString kGroup = QStringLiteral("group");
const QString kRoot = QStringLiteral("root");
const QString kEdges = QStringLiteral("edges");
const QString kFrom = QStringLiteral("from");
const QString kTo = QStringLiteral("to");

QString quoted(const QString& text) {
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

QString sideName(bool input) {
    return input ? QStringLiteral("input") : QStringLiteral("output");
}

QString portName(const Graph& graph, int node, bool input, int port) {
    return input ? graph.inputName(node, port) : graph.outputName(node, port);
}

int numPorts(const Graph& graph, int node, bool input) {
    return input ? graph.numInputs(node) : graph.numOutputs(node);
}

// "input 'color' of node 'tonemap'"
QString describePort(const Graph& graph, int node, bool input, int port) {
    return sideName(input) + QLatin1Char(' ') + quoted(portName(graph, node, input, port)) +
           QStringLiteral(" of ") + describeNode(graph, node);
}

// The port named by the last element of an edge end: a name unique in the list, or an index.
bool resolvePort(const Graph& graph, int node, bool input, const QJsonValue& token,
                 const Pointer& at, Errors& errors, int* port) {
    const int count = numPorts(graph, node, input);
    if (token.isString()) {
        const QString name = token.toString();
        int found = -1;
        for (int p = 0; p < count; ++p) {
            if (portName(graph, node, input, p) != name) continue;
            if (found >= 0)
                return errors.fail(at, describeNode(graph, node) + QStringLiteral(" has several ") +
                                           sideName(input) + QStringLiteral("s named ") +
                                           quoted(name) + QStringLiteral("; use its index"));
            found = p;
        }
        if (found < 0)
            return errors.fail(at, describeNode(graph, node) + QStringLiteral(" has no ") +
                                       sideName(input) + QStringLiteral(" named ") + quoted(name));
        *port = found;
        return true;
    }
    int index = -1;
    if (!token.isDouble() || !readInt(token, at, errors, &index))
        return errors.fail(at, QStringLiteral("expected a port name or index"));
    if (index < 0 || index >= count)
        return errors.fail(at, describeNode(graph, node) + QStringLiteral(" has no ") +
                                   sideName(input) + QLatin1Char(' ') + QString::number(index));
    *port = index;
    return true;
}

// Finds children by name on a graph that no longer changes shape, one table per parent.
class ChildIndex {
public:
    explicit ChildIndex(const Graph& graph) : _graph(graph) {}

    // The live child of `parent` so named: its ref, -1 for none, -2 for several.
    int find(int parent, const QString& name) {
        auto table = _tables.find(parent);
        if (table == _tables.end()) {
            table = _tables.insert(parent, QHash<QString, int>());
            const int count = _graph.numNodes(parent);
            for (int c = 0; c < count; ++c) {
                const int child = _graph.getNode(c, parent);
                auto entry = table->find(_graph.nodeName(child));
                if (entry == table->end())
                    table->insert(_graph.nodeName(child), child);
                else
                    *entry = -2;
            }
        }
        return table->value(name, -1);
    }

private:
    const Graph& _graph;
    QHash<int, QHash<QString, int>> _tables;
};

bool resolvePath(const Graph& graph, ChildIndex& children, const QJsonArray& path, int length,
                 const Pointer& at, Errors& errors, int* node) {
    int current = Graph::kRootNodeRef;
    for (int s = 0; s < length; ++s) {
        const QJsonValue segment = path.at(s);
        const Pointer here = at / s;
        if (segment.isString()) {
            const int child = children.find(current, segment.toString());
            if (child == -1)
                return errors.fail(here, describeNode(graph, current) +
                                             QStringLiteral(" has no child named ") +
                                             quoted(segment.toString()));
            if (child == -2)
                return errors.fail(here, describeNode(graph, current) +
                                             QStringLiteral(" has several children named ") +
                                             quoted(segment.toString()) +
                                             QStringLiteral("; use a child index"));
            current = child;
            continue;
        }
        int index = -1;
        if (!segment.isDouble() || !readInt(segment, here, errors, &index))
            return errors.fail(here, QStringLiteral("expected a node name or child index"));
        if (index < 0 || index >= graph.numNodes(current))
            return errors.fail(here, describeNode(graph, current) +
                                         QStringLiteral(" has no child ") + QString::number(index));
        current = graph.getNode(index, current);
    }
    *node = current;
    return true;
}

// One end of an edge: the path of its node, then its port.
struct End {
    int node = -1;
    QJsonValue port;
    Pointer portAt;
};

bool resolveEnd(const Graph& graph, ChildIndex& children, const QJsonArray& path, const Pointer& at,
                Errors& errors, End* end) {
    if (path.isEmpty())
        return errors.fail(at, QStringLiteral("expected a node path ending in a port"));
    if (!resolvePath(graph, children, path, path.size() - 1, at, errors, &end->node)) return false;
    end->port = path.last();
    end->portAt = at / (path.size() - 1);
    return true;
}

// Adds one edge, choosing its kind from where its two nodes stand; names the refusal.
bool addEdge(Graph& graph, const End& from, const End& to, const Pointer& at, Errors& errors) {
    const int src = from.node;
    const int dst = to.node;
    const bool siblings = src != Graph::kRootNodeRef && dst != Graph::kRootNodeRef &&
                          graph.parentNode(src) == graph.parentNode(dst);
    const bool down = !siblings && graph.parentNode(dst) == src;
    const bool up = !siblings && !down && graph.parentNode(src) == dst;
    if (!siblings && !down && !up)
        return errors.fail(at, describeNode(graph, src) + QStringLiteral(" and ") +
                                   describeNode(graph, dst) +
                                   QStringLiteral(" are neither siblings nor parent and child"));
    // A regular edge leaves an output for an input, a down edge joins two inputs and an up
    // edge two outputs.
    int srcPort = -1;
    int dstPort = -1;
    if (!resolvePort(graph, src, down, from.port, from.portAt, errors, &srcPort) ||
        !resolvePort(graph, dst, !up, to.port, to.portAt, errors, &dstPort))
        return false;

    if (siblings) {
        if (graph.addEdge(src, srcPort, dst, dstPort) >= 0) return true;
        if (graph.inputSource(dst, dstPort) >= 0)
            return errors.fail(at, describePort(graph, dst, true, dstPort) +
                                       QStringLiteral(" already has a source"));
        if (graph.numOutputDestinations(src, srcPort) > 0 &&
            !graph.isRegularEdge(graph.outputDestination(src, srcPort, 0)))
            return errors.fail(at, describePort(graph, src, false, srcPort) +
                                       QStringLiteral(" already feeds its parent's output, which"
                                                      " must come after its regular edges"));
        return errors.fail(at, QStringLiteral("the edge from ") + describeNode(graph, src) +
                                   QStringLiteral(" to ") + describeNode(graph, dst) +
                                   QStringLiteral(" would close a cycle"));
    }
    if (down ? graph.addDownEdge(srcPort, dst, dstPort) >= 0
             : graph.addUpEdge(dstPort, src, srcPort) >= 0)
        return true;
    return errors.fail(
        at, describePort(graph, dst, down, dstPort) + QStringLiteral(" already has a source"));
}

// Pre-order reading of the node tree; ids, when given, are checked and applied afterwards.
class NodeReader {
public:
    NodeReader(const QStringList& extraKeys, Errors& errors, GraphDesc* desc)
        : _errors(errors), _desc(desc) {
        _keys = QStringList{kName,        kValue,        kInputs,   kOutputs,
                            kInputGroups, kOutputGroups, kChildren, kId} +
                extraKeys;
    }

    bool read(const QJsonObject& object, const Pointer& at, int parent) {
        if (!checkKeys(object, _keys, at, _errors)) return false;
        NodeDesc node;
        node.at = at;
        node.parent = parent;
        node.object = object;
        const int self = _desc->nodes.size();
        if (object.contains(kName) &&
            !readString(object.value(kName), at / kName, _errors, &node.name))
            return false;
        if (object.contains(kValue) &&
            !readInt(object.value(kValue), at / kValue, _errors, &node.value))
            return false;
        node.hasInputs = object.contains(kInputs);
        node.hasOutputs = object.contains(kOutputs);
        if (!readPorts(object, kInputs, at, &node.inputs) ||
            !readPorts(object, kOutputs, at, &node.outputs) ||
            !readGroups(object, kInputGroups, at, &node.inputGroups) ||
            !readGroups(object, kOutputGroups, at, &node.outputGroups))
            return false;
        int id = -1;
        if (object.contains(kId)) {
            if (parent < 0) return _errors.fail(at / kId, QStringLiteral("the root has no id"));
            if (!readInt(object.value(kId), at / kId, _errors, &id)) return false;
        }
        _ids.append(id);
        _desc->nodes.append(node);

        QJsonArray children;
        if (object.contains(kChildren) &&
            !readArray(object.value(kChildren), at / kChildren, _errors, &children))
            return false;
        for (int c = 0; c < children.size(); ++c) {
            const Pointer childAt = at / kChildren / c;
            QJsonObject child;
            if (!readObject(children.at(c), childAt, _errors, &child) ||
                !read(child, childAt, self))
                return false;
        }
        return true;
    }

    // With ids, creation follows them: they must be the refs 1..n-1, each above its parent's
    // and rising along each list of children, as refs handed out by addNode are.
    bool applyIds() {
        QVector<NodeDesc>& nodes = _desc->nodes;
        const int count = nodes.size();
        const bool withIds = count > 1 && _ids.at(1) >= 0;
        if (!withIds) {
            for (int n = 2; n < count; ++n) {
                if (_ids.at(n) >= 0)
                    return _errors.fail(nodes.at(n).at / kId,
                                        QStringLiteral("ids must be given on every node or none"));
            }
            return true;
        }
        QVector<int> byId(count, -1);
        QVector<int> lastChildId(count, 0);
        for (int n = 1; n < count; ++n) {
            const int id = _ids.at(n);
            const Pointer at = nodes.at(n).at / kId;
            if (id < 0) return _errors.fail(nodes.at(n).at, QStringLiteral("this node has no id"));
            if (id == 0 || id >= count)
                return _errors.fail(
                    at, QStringLiteral("id %1 is outside 1..%2").arg(id).arg(count - 1));
            if (byId.at(id) >= 0)
                return _errors.fail(at, QStringLiteral("id %1 is used twice").arg(id));
            const int parent = nodes.at(n).parent;
            const int parentId = parent == 0 ? 0 : _ids.at(parent);
            if (id < parentId)
                return _errors.fail(
                    at, QStringLiteral("id %1 is below its parent's id %2").arg(id).arg(parentId));
            if (id < lastChildId.at(parent))
                return _errors.fail(
                    at, QStringLiteral("id %1 is below the id of an earlier sibling").arg(id));
            lastChildId[parent] = id;
            byId[id] = n;
        }
        QVector<int> idOf(_ids);
        idOf[0] = 0;
        QVector<NodeDesc> ordered;
        ordered.reserve(count);
        ordered.append(nodes.at(0));
        for (int id = 1; id < count; ++id) {
            ordered.append(nodes.at(byId.at(id)));
            ordered.last().parent = idOf.at(ordered.last().parent);
        }
        nodes.swap(ordered);
        return true;
    }

private:
    bool readPorts(const QJsonObject& object, const QString& key, const Pointer& at,
                   QVector<PortDesc>* ports) {
        if (!object.contains(key)) return true;
        QJsonArray list;
        if (!readArray(object.value(key), at / key, _errors, &list)) return false;
        ports->reserve(list.size());
        for (int p = 0; p < list.size(); ++p) {
            const Pointer portAt = at / key / p;
            const QJsonValue entry = list.at(p);
            PortDesc port;
            if (entry.isString()) {
                port.name = entry.toString();
            } else {
                QJsonObject portObject;
                if (!entry.isObject())
                    return _errors.fail(portAt, QStringLiteral("expected a port name or object"));
                portObject = entry.toObject();
                if (!checkKeys(portObject, {kName, kGroup}, portAt, _errors) ||
                    (portObject.contains(kName) &&
                     !readString(portObject.value(kName), portAt / kName, _errors, &port.name)) ||
                    (portObject.contains(kGroup) &&
                     !readInt(portObject.value(kGroup), portAt / kGroup, _errors, &port.group)))
                    return false;
            }
            ports->append(port);
        }
        return true;
    }

    bool readGroups(const QJsonObject& object, const QString& key, const Pointer& at,
                    QStringList* groups) {
        if (!object.contains(key)) return true;
        QJsonArray list;
        if (!readArray(object.value(key), at / key, _errors, &list)) return false;
        for (int g = 0; g < list.size(); ++g) {
            QString name;
            if (!readString(list.at(g), at / key / g, _errors, &name)) return false;
            groups->append(name);
        }
        return true;
    }

    Errors& _errors;
    GraphDesc* _desc;
    QStringList _keys;
    QVector<int> _ids;  // in pre-order, -1 where none was given
};

void addPorts(Graph& graph, int node, const NodeDesc& desc) {
    for (const QString& name : desc.inputGroups) graph.addInputGroup(node, name);
    for (const QString& name : desc.outputGroups) graph.addOutputGroup(node, name);
    for (const PortDesc& port : desc.inputs) graph.addInput(node, port.name, port.group);
    for (const PortDesc& port : desc.outputs) graph.addOutput(node, port.name, port.group);
}

// Writes names where they are unique among siblings (or ports), indexes where they are not.
class PathWriter {
public:
    explicit PathWriter(const Graph& graph) : _graph(graph) {}

    QJsonArray path(int node) {
        QJsonArray segments;
        for (int n = node; n != Graph::kRootNodeRef && _graph.isValidNode(n);
             n = _graph.parentNode(n)) {
            const int parent = _graph.parentNode(n);
            const QString name = _graph.nodeName(n);
            if (siblingsNamed(parent, name) == 1)
                segments.prepend(name);
            else
                segments.prepend(_graph.indexOfNode(n));
        }
        return segments;
    }

    QJsonArray end(int node, bool input, int port) {
        QJsonArray segments = path(node);
        const QString name = portName(_graph, node, input, port);
        int named = 0;
        for (int p = 0, count = numPorts(_graph, node, input); p < count && named < 2; ++p)
            named += portName(_graph, node, input, p) == name;
        segments.append(named == 1 ? QJsonValue(name) : QJsonValue(port));
        return segments;
    }

private:
    int siblingsNamed(int parent, const QString& name) {
        auto counts = _counts.find(parent);
        if (counts == _counts.end()) {
            counts = _counts.insert(parent, QHash<QString, int>());
            for (int c = 0, count = _graph.numNodes(parent); c < count; ++c)
                ++(*counts)[_graph.nodeName(_graph.getNode(c, parent))];
        }
        return counts->value(name);
    }

    const Graph& _graph;
    QHash<int, QHash<QString, int>> _counts;
};

QJsonArray portsToJson(const Graph& graph, int node, bool input) {
    QJsonArray ports;
    for (int p = 0, count = numPorts(graph, node, input); p < count; ++p) {
        const QString name = portName(graph, node, input, p);
        const int group = input ? graph.inputGroup(node, p) : graph.outputGroup(node, p);
        if (group == Graph::kInvalidGroupRef) {
            ports.append(name);
        } else {
            QJsonObject port;
            port.insert(kName, name);
            port.insert(kGroup, group);
            ports.append(port);
        }
    }
    return ports;
}

QJsonArray groupsToJson(const Graph& graph, int node, bool input) {
    QJsonArray groups;
    const int count = input ? graph.numInputGroups(node) : graph.numOutputGroups(node);
    for (int g = 0; g < count; ++g)
        groups.append(input ? graph.inputGroupName(node, g) : graph.outputGroupName(node, g));
    return groups;
}

class GraphWriter {
public:
    GraphWriter(const Graph& graph, const GraphWriteOptions& options)
        : _graph(graph), _options(options) {}

    bool write(QJsonObject* out, QString* error) {
        // Purge renumbers the live nodes in table order; ids are written only when that order
        // is not the order in which the tree lists them.
        QVector<int> preOrder;
        collect(Graph::kRootNodeRef, &preOrder);
        QVector<int> tableOrder;
        _idOf.fill(-1, _graph.numNodesGlobal());
        for (int n = 0; n < _graph.numNodesGlobal(); ++n) {
            if (!_graph.isValidNode(n)) continue;
            _idOf[n] = tableOrder.size();
            tableOrder.append(n);
        }
        _withIds = preOrder != tableOrder;

        QJsonObject root;
        if (!writeNode(Graph::kRootNodeRef, &root, error)) return false;
        PathWriter paths(_graph);
        QJsonArray edges;
        for (int e = 0; e < _graph.numEdgesGlobal(); ++e) {
            const bool regular = _graph.isRegularEdge(e);
            const bool down = _graph.isDownEdge(e);
            if (!regular && !down && !_graph.isUpEdge(e)) continue;
            QJsonObject edge;
            edge.insert(kFrom,
                        paths.end(_graph.edgeSourceNode(e), down, _graph.edgeSourceIndex(e)));
            edge.insert(
                kTo, paths.end(_graph.edgeDestNode(e), regular || down, _graph.edgeDestIndex(e)));
            edges.append(edge);
        }
        out->insert(kRoot, root);
        out->insert(kEdges, edges);
        return true;
    }

private:
    void collect(int node, QVector<int>* order) const {
        order->append(node);
        for (int c = 0, count = _graph.numNodes(node); c < count; ++c)
            collect(_graph.getNode(c, node), order);
    }

    bool writeNode(int node, QJsonObject* object, QString* error) {
        object->insert(kName, _graph.nodeName(node));
        if (_options.values && _graph.nodeValue(node) != -1)
            object->insert(kValue, _graph.nodeValue(node));
        if (_withIds && node != Graph::kRootNodeRef) object->insert(kId, _idOf.at(node));
        if (node != Graph::kRootNodeRef || _options.rootPorts) {
            if (_graph.numInputs(node) > 0)
                object->insert(kInputs, portsToJson(_graph, node, true));
            if (_graph.numOutputs(node) > 0)
                object->insert(kOutputs, portsToJson(_graph, node, false));
        }
        if (_graph.numInputGroups(node) > 0)
            object->insert(kInputGroups, groupsToJson(_graph, node, true));
        if (_graph.numOutputGroups(node) > 0)
            object->insert(kOutputGroups, groupsToJson(_graph, node, false));
        if (_options.decorate && !_options.decorate(node, object, error)) return false;

        const int count = _graph.numNodes(node);
        if (count == 0) return true;
        QJsonArray children;
        for (int c = 0; c < count; ++c) {
            QJsonObject child;
            if (!writeNode(_graph.getNode(c, node), &child, error)) return false;
            children.append(child);
        }
        object->insert(kChildren, children);
        return true;
    }

    const Graph& _graph;
    const GraphWriteOptions& _options;
    QVector<int> _idOf;  // by node ref: its ref after purge
    bool _withIds = false;
};

}  // namespace

Pointer Pointer::operator/(const QString& key) const {
    Pointer next;
    // JSON pointer escaping: '~' and '/' inside a key.
    QString escaped = key;
    escaped.replace(QLatin1Char('~'), QLatin1String("~0"))
        .replace(QLatin1Char('/'), QLatin1String("~1"));
    next._text = _text + QLatin1Char('/') + escaped;
    return next;
}

Pointer Pointer::operator/(int index) const {
    Pointer next;
    next._text = _text + QLatin1Char('/') + QString::number(index);
    return next;
}

bool Errors::fail(const Pointer& at, const QString& problem) {
    // The innermost report is the precise one; callers that add context come later.
    if (_problem.isEmpty()) {
        _at = at.text();
        _problem = problem;
    }
    return false;
}

QString Errors::text() const {
    return (_at.isEmpty() ? QStringLiteral("/") : _at) + QStringLiteral(": ") + _problem;
}

bool readString(const QJsonValue& value, const Pointer& at, Errors& errors, QString* out) {
    if (!value.isString()) return errors.fail(at, QStringLiteral("expected a string"));
    *out = value.toString();
    return true;
}

bool readInt(const QJsonValue& value, const Pointer& at, Errors& errors, int* out) {
    const double number = value.toDouble();
    if (!value.isDouble() || number != std::floor(number) || number < double(INT_MIN) ||
        number > double(INT_MAX))
        return errors.fail(at, QStringLiteral("expected a whole number within the range of int"));
    *out = int(number);
    return true;
}

bool readArray(const QJsonValue& value, const Pointer& at, Errors& errors, QJsonArray* out) {
    if (!value.isArray()) return errors.fail(at, QStringLiteral("expected an array"));
    *out = value.toArray();
    return true;
}

bool readObject(const QJsonValue& value, const Pointer& at, Errors& errors, QJsonObject* out) {
    if (!value.isObject()) return errors.fail(at, QStringLiteral("expected an object"));
    *out = value.toObject();
    return true;
}

bool checkKeys(const QJsonObject& object, const QStringList& known, const Pointer& at,
               Errors& errors) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!known.contains(it.key()))
            return errors.fail(at / it.key(), QStringLiteral("unknown member ") + quoted(it.key()));
    }
    return true;
}

bool checkHeader(const QJsonObject& document, const char* format, Errors& errors) {
    const QString expected = QString::fromLatin1(format);
    QString found;
    if (!readString(document.value(QStringLiteral("format")), Pointer() / QStringLiteral("format"),
                    errors, &found))
        return false;
    if (found != expected)
        return errors.fail(Pointer() / QStringLiteral("format"),
                           QStringLiteral("unknown format ") + quoted(found) +
                               QStringLiteral("; expected ") + quoted(expected));
    int version = 0;
    const Pointer versionAt = Pointer() / QStringLiteral("version");
    if (!readInt(document.value(QStringLiteral("version")), versionAt, errors, &version))
        return false;
    if (version != kJsonVersion)
        return errors.fail(versionAt, QStringLiteral("unsupported version %1; this library reads"
                                                     " version %2")
                                          .arg(version)
                                          .arg(kJsonVersion));
    return true;
}

bool readGraphDesc(const QJsonObject& object, const Pointer& at, const QStringList& extraNodeKeys,
                   Errors& errors, GraphDesc* desc) {
    QJsonObject root;
    if (!readObject(object.value(kRoot), at / kRoot, errors, &root)) return false;
    NodeReader reader(extraNodeKeys, errors, desc);
    if (!reader.read(root, at / kRoot, -1) || !reader.applyIds()) return false;

    QJsonArray edges;
    if (object.contains(kEdges) && !readArray(object.value(kEdges), at / kEdges, errors, &edges))
        return false;
    desc->edges.reserve(edges.size());
    for (int e = 0; e < edges.size(); ++e) {
        EdgeDesc edge;
        edge.at = at / kEdges / e;
        QJsonObject edgeObject;
        if (!readObject(edges.at(e), edge.at, errors, &edgeObject) ||
            !checkKeys(edgeObject, {kFrom, kTo}, edge.at, errors) ||
            !readArray(edgeObject.value(kFrom), edge.at / kFrom, errors, &edge.from) ||
            !readArray(edgeObject.value(kTo), edge.at / kTo, errors, &edge.to))
            return false;
        desc->edges.append(edge);
    }
    return true;
}

bool buildGraph(const GraphDesc& desc, Errors& errors, Graph* graph) {
    const NodeDesc& root = desc.nodes.at(0);
    graph->setNodeName(Graph::kRootNodeRef, root.name);
    graph->setNodeValue(Graph::kRootNodeRef, root.value);
    addPorts(*graph, Graph::kRootNodeRef, root);
    for (int n = 1; n < desc.nodes.size(); ++n) {
        const NodeDesc& node = desc.nodes.at(n);
        const int ref = graph->addNode(node.name, 0, 0, node.parent);
        graph->setNodeValue(ref, node.value);
        addPorts(*graph, ref, node);
    }
    ChildIndex children(*graph);
    for (const EdgeDesc& edge : desc.edges) {
        End from;
        End to;
        if (!resolveEnd(*graph, children, edge.from, edge.at / kFrom, errors, &from) ||
            !resolveEnd(*graph, children, edge.to, edge.at / kTo, errors, &to) ||
            !addEdge(*graph, from, to, edge.at, errors))
            return false;
    }
    return true;
}

bool resolveNode(const Graph& graph, const QJsonArray& path, int length, const Pointer& at,
                 Errors& errors, int* node) {
    ChildIndex children(graph);
    return resolvePath(graph, children, path, length, at, errors, node);
}

bool writeGraph(const Graph& graph, const GraphWriteOptions& options, QJsonObject* object,
                QString* error) {
    return GraphWriter(graph, options).write(object, error);
}

QJsonArray nodePath(const Graph& graph, int node) {
    return PathWriter(graph).path(node);
}

QString displayPath(const Graph& graph, int node) {
    QStringList names;
    for (int n = node; n > Graph::kRootNodeRef && graph.isValidNode(n); n = graph.parentNode(n))
        names.prepend(graph.nodeName(n));
    return names.join(QLatin1Char('/'));
}

QString describeNode(const Graph& graph, int node) {
    if (node == Graph::kRootNodeRef) return QStringLiteral("the root");
    return QStringLiteral("node ") + quoted(displayPath(graph, node));
}

bool parseJsonObject(const QByteArray& text, QJsonObject* object, QString* error) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (error)
            *error = QStringLiteral("malformed JSON at offset %1: %2")
                         .arg(parseError.offset)
                         .arg(parseError.errorString());
        return false;
    }
    if (!document.isObject()) {
        if (error) *error = QStringLiteral("/: expected an object");
        return false;
    }
    *object = document.object();
    return true;
}

namespace {

// Members in reading order: what a thing is before what it holds.
const char* const kKeyOrder[] = {"format",       "version",  "name",       "type",    "enabled",
                                 "id",           "value",    "inputs",     "outputs", "inputGroups",
                                 "outputGroups", "children", "parameters", "graph",   "target",
                                 "root",         "edges",    "from",       "to"};
const int kLineWidth = 100;

QStringList orderedKeys(const QJsonObject& object) {
    QStringList keys;
    for (const char* key : kKeyOrder) {
        if (object.contains(QLatin1String(key))) keys.append(QString::fromLatin1(key));
    }
    for (const QString& key : object.keys()) {
        if (!keys.contains(key)) keys.append(key);
    }
    return keys;
}

void appendString(const QString& text, QByteArray* out) {
    static const char kHex[] = "0123456789abcdef";
    out->append('"');
    const QByteArray utf8 = text.toUtf8();
    for (char c : utf8) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out->append('\\');
            out->append(c);
        } else if (u < 0x20) {
            out->append("\\u00");
            out->append(kHex[u >> 4]);
            out->append(kHex[u & 15]);
        } else {
            out->append(c);
        }
    }
    out->append('"');
}

void appendScalar(const QJsonValue& value, QByteArray* out) {
    switch (value.type()) {
        case QJsonValue::Bool:
            out->append(value.toBool() ? "true" : "false");
            return;
        case QJsonValue::Double: {
            // Whole numbers as integers; others in the shortest form that reads back the same.
            const double number = value.toDouble();
            if (number == std::floor(number) && std::fabs(number) < 1e15)
                out->append(QByteArray::number(qint64(number)));
            else
                out->append(QByteArray::number(number, 'g', QLocale::FloatingPointShortest));
            return;
        }
        case QJsonValue::String:
            appendString(value.toString(), out);
            return;
        default:
            out->append("null");
    }
}

// The one-line form of `value`, given up (false) as soon as it grows past `budget` bytes, so
// that trying it at every level costs no more than the line it could fill.
bool appendOneLine(const QJsonValue& value, int budget, QByteArray* out) {
    const int start = out->size();
    if (value.isArray()) {
        const QJsonArray array = value.toArray();
        out->append('[');
        for (int i = 0; i < array.size(); ++i) {
            if (i > 0) out->append(", ");
            if (!appendOneLine(array.at(i), budget - (out->size() - start), out)) return false;
        }
        out->append(']');
    } else if (value.isObject()) {
        const QJsonObject object = value.toObject();
        out->append('{');
        const QStringList keys = orderedKeys(object);
        for (int i = 0; i < keys.size(); ++i) {
            if (i > 0) out->append(", ");
            appendString(keys.at(i), out);
            out->append(": ");
            if (!appendOneLine(object.value(keys.at(i)), budget - (out->size() - start), out))
                return false;
        }
        out->append('}');
    } else {
        appendScalar(value, out);
    }
    return out->size() - start <= budget;
}

// Indented text that keeps short arrays and objects on one line, so that an edge or a small
// node reads as one line and diffs as one.
void writeText(const QJsonValue& value, int indent, int used, QByteArray* out) {
    QByteArray line;
    if (appendOneLine(value, kLineWidth - used, &line)) {
        out->append(line);
        return;
    }
    const QByteArray inner(indent + 4, ' ');
    const bool isArray = value.isArray();
    out->append(isArray ? "[\n" : "{\n");
    const QJsonArray array = value.toArray();
    const QJsonObject object = value.toObject();
    const QStringList keys = isArray ? QStringList() : orderedKeys(object);
    const int count = isArray ? array.size() : keys.size();
    for (int i = 0; i < count; ++i) {
        out->append(inner);
        int prefix = 0;
        if (!isArray) {
            const int before = out->size();
            appendString(keys.at(i), out);
            out->append(": ");
            prefix = out->size() - before;
        }
        writeText(isArray ? array.at(i) : object.value(keys.at(i)), indent + 4,
                  inner.size() + prefix + 1, out);
        out->append(i + 1 < count ? ",\n" : "\n");
    }
    out->append(QByteArray(indent, ' '));
    out->append(isArray ? ']' : '}');
}

}  // namespace

QByteArray formatJson(const QJsonObject& object) {
    QByteArray text;
    writeText(object, 0, 0, &text);
    text.append('\n');
    return text;
}

}  // namespace JsonDetail

using namespace JsonDetail;

QJsonObject graphToJson(const Graph& graph) {
    QJsonObject object;
    object.insert(QStringLiteral("format"), QString::fromLatin1(kGraphJsonFormat));
    object.insert(QStringLiteral("version"), kJsonVersion);
    writeGraph(graph, GraphWriteOptions(), &object, nullptr);
    return object;
}

QByteArray saveGraph(const Graph& graph) {
    return formatJson(graphToJson(graph));
}

bool graphFromJson(const QJsonObject& json, Graph* graph, QString* error) {
    Errors errors;
    GraphDesc desc;
    Graph built;
    if (!graph) {
        errors.fail(Pointer(), QStringLiteral("no graph to load into"));
    } else if (checkHeader(json, kGraphJsonFormat, errors) &&
               checkKeys(json, {QStringLiteral("format"), QStringLiteral("version"), kRoot, kEdges},
                         Pointer(), errors) &&
               readGraphDesc(json, Pointer(), {}, errors, &desc) &&
               buildGraph(desc, errors, &built)) {
        *graph = std::move(built);
        return true;
    }
    if (error) *error = errors.text();
    return false;
}

bool loadGraph(const QByteArray& text, Graph* graph, QString* error) {
    QJsonObject object;
    return parseJsonObject(text, &object, error) && graphFromJson(object, graph, error);
}

}  // namespace Orv
}  // namespace Vantrel
