#include <Orv/Graph.h>
#include <Orv/Json.h>

#include "json/graphjson_p.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonParseError>

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

namespace Vantrel {
namespace Orv {

const char* const kGraphJsonFormat = "orv-graph";
const char* const kRendererJsonFormat = "orv-renderer";

namespace detail {

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

bool wholeInt(double number, int* out) {
    if (number != std::floor(number) || number < double(INT_MIN) || number > double(INT_MAX))
        return false;
    *out = int(number);
    return true;
}

bool tokenIndex(const PathToken& token, int* out) {
    return token.kind == PathToken::Number && wholeInt(token.number, out);
}

// "input 'color' of node 'tonemap'"
QString describePort(const Graph& graph, int node, bool input, int port) {
    return sideName(input) + QLatin1Char(' ') + quoted(portName(graph, node, input, port)) +
           QStringLiteral(" of ") + describeNode(graph, node);
}

// The port named by the last element of an edge end: a name unique in the list, or an index.
bool resolvePort(const Graph& graph, NameIndex& names, int node, bool input, const PathToken& token,
                 const PathPlace& at, int element, Errors& errors, int* port) {
    const auto place = [&] { return at(element); };
    const int count = numPorts(graph, node, input);
    if (token.kind == PathToken::Name) {
        const QString& name = token.name;
        const int found = names.port(node, input, name);
        if (found == -2)
            return errors.fail(place(), describeNode(graph, node) +
                                            QStringLiteral(" has several ") + sideName(input) +
                                            QStringLiteral("s named ") + quoted(name) +
                                            QStringLiteral("; use its index"));
        if (found < 0)
            return errors.fail(place(), describeNode(graph, node) + QStringLiteral(" has no ") +
                                            sideName(input) + QStringLiteral(" named ") +
                                            quoted(name));
        *port = found;
        return true;
    }
    int index = -1;
    if (!tokenIndex(token, &index)) {
        if (token.kind == PathToken::Number)
            readInt(QJsonValue(token.number), place(), errors, &index);
        return errors.fail(place(), QStringLiteral("expected a port name or index"));
    }
    if (index < 0 || index >= count)
        return errors.fail(place(), describeNode(graph, node) + QStringLiteral(" has no ") +
                                        sideName(input) + QLatin1Char(' ') +
                                        QString::number(index));
    *port = index;
    return true;
}

bool resolvePath(const Graph& graph, NameIndex& names, const PathToken* path, int length,
                 const PathPlace& at, Errors& errors, int* node) {
    int current = Graph::kRootNodeRef;
    for (int s = 0; s < length; ++s) {
        const PathToken& segment = path[s];
        const auto here = [&] { return at(s); };
        if (segment.kind == PathToken::Name) {
            const int child = names.child(current, segment.name);
            if (child == -1)
                return errors.fail(here(), describeNode(graph, current) +
                                               QStringLiteral(" has no child named ") +
                                               quoted(segment.name));
            if (child == -2)
                return errors.fail(here(), describeNode(graph, current) +
                                               QStringLiteral(" has several children named ") +
                                               quoted(segment.name) +
                                               QStringLiteral("; use a child index"));
            current = child;
            continue;
        }
        int index = -1;
        if (!tokenIndex(segment, &index)) {
            if (segment.kind == PathToken::Number)
                readInt(QJsonValue(segment.number), here(), errors, &index);
            return errors.fail(here(), QStringLiteral("expected a node name or child index"));
        }
        if (index < 0 || index >= graph.numNodes(current))
            return errors.fail(here(), describeNode(graph, current) +
                                           QStringLiteral(" has no child ") +
                                           QString::number(index));
        current = graph.getNode(index, current);
    }
    *node = current;
    return true;
}

// One end of an edge: the path of its node, then its port.
struct End {
    int node = -1;
    PathToken port;
    const PathPlace* at = nullptr;  // the place of the path
    int portElement = 0;
};

bool resolveEnd(const Graph& graph, NameIndex& names, const GraphDesc& desc, const PathRange& path,
                const PathPlace& at, Errors& errors, End* end) {
    if (path.size == 0)
        return errors.fail(at(-1), QStringLiteral("expected a node path ending in a port"));
    const PathToken* tokens = desc.tokens.constData() + path.begin;
    if (!resolvePath(graph, names, tokens, path.size - 1, at, errors, &end->node)) return false;
    end->port = tokens[path.size - 1];
    end->at = &at;
    end->portElement = path.size - 1;
    return true;
}

// Adds one edge, choosing its kind from where its two nodes stand; names the refusal.
bool addEdge(Graph& graph, NameIndex& names, const End& from, const End& to, const Place& place,
             Errors& errors) {
    const int src = from.node;
    const int dst = to.node;
    const bool siblings = src != Graph::kRootNodeRef && dst != Graph::kRootNodeRef &&
                          graph.parentNode(src) == graph.parentNode(dst);
    const bool down = !siblings && graph.parentNode(dst) == src;
    const bool up = !siblings && !down && graph.parentNode(src) == dst;
    if (!siblings && !down && !up)
        return errors.fail(
            place(), describeNode(graph, src) + QStringLiteral(" and ") + describeNode(graph, dst) +
                         QStringLiteral(" are neither siblings nor parent and child"));
    // A regular edge leaves an output for an input, a down edge joins two inputs and an up
    // edge two outputs.
    int srcPort = -1;
    int dstPort = -1;
    if (!resolvePort(graph, names, src, down, from.port, *from.at, from.portElement, errors,
                     &srcPort) ||
        !resolvePort(graph, names, dst, !up, to.port, *to.at, to.portElement, errors, &dstPort))
        return false;

    if (siblings) {
        if (graph.addEdge(src, srcPort, dst, dstPort) >= 0) return true;
        if (graph.inputSource(dst, dstPort) >= 0)
            return errors.fail(place(), describePort(graph, dst, true, dstPort) +
                                            QStringLiteral(" already has a source"));
        if (graph.numOutputDestinations(src, srcPort) > 0 &&
            !graph.isRegularEdge(graph.outputDestination(src, srcPort, 0)))
            return errors.fail(place(),
                               describePort(graph, src, false, srcPort) +
                                   QStringLiteral(" already feeds its parent's output, which"
                                                  " must come after its regular edges"));
        return errors.fail(place(), QStringLiteral("the edge from ") + describeNode(graph, src) +
                                        QStringLiteral(" to ") + describeNode(graph, dst) +
                                        QStringLiteral(" would close a cycle"));
    }
    if (down ? graph.addDownEdge(srcPort, dst, dstPort) >= 0
             : graph.addUpEdge(dstPort, src, srcPort) >= 0)
        return true;
    return errors.fail(
        place(), describePort(graph, dst, down, dstPort) + QStringLiteral(" already has a source"));
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

    bool read(const QJsonObject& object, const Pointer& at, int parent, int index) {
        if (!checkKeys(object, _keys, at, _errors)) return false;
        NodeDesc node;
        node.parent = parent;
        node.index = index;
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
        _desc->ids.append(id);
        _desc->nodes.append(node);

        QJsonArray children;
        if (object.contains(kChildren) &&
            !readArray(object.value(kChildren), at / kChildren, _errors, &children))
            return false;
        for (int c = 0; c < children.size(); ++c) {
            const Pointer childAt = at / kChildren / c;
            QJsonObject child;
            if (!readObject(children.at(c), childAt, _errors, &child) ||
                !read(child, childAt, self, c))
                return false;
        }
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
};

PathRange appendTokens(const QJsonArray& path, GraphDesc* desc) {
    PathRange range{int(desc->tokens.size()), int(path.size())};
    for (const QJsonValue& token : path) desc->tokens.append(PathToken::fromJson(token));
    return range;
}

// How many of the ports addNode can make: all of them where none is in a group, else none.
int ungrouped(const QVector<PortDesc>& ports) {
    for (const PortDesc& port : ports) {
        if (port.group != Graph::kInvalidGroupRef) return 0;
    }
    return ports.size();
}

// The node's groups and ports; the first `made` inputs and outputs exist and need their names.
void addPorts(Graph& graph, int node, const NodeDesc& desc, int madeInputs, int madeOutputs) {
    for (const QString& name : desc.inputGroups) graph.addInputGroup(node, name);
    for (const QString& name : desc.outputGroups) graph.addOutputGroup(node, name);
    for (int p = 0; p < desc.inputs.size(); ++p) {
        const PortDesc& port = desc.inputs.at(p);
        if (p >= madeInputs)
            graph.addInput(node, port.name, port.group);
        else if (!port.name.isEmpty())
            graph.setInputName(node, p, port.name);
    }
    for (int p = 0; p < desc.outputs.size(); ++p) {
        const PortDesc& port = desc.outputs.at(p);
        if (p >= madeOutputs)
            graph.addOutput(node, port.name, port.group);
        else if (!port.name.isEmpty())
            graph.setOutputName(node, p, port.name);
    }
}

}  // namespace

int NameIndex::child(int parent, const QString& name) {
    return find(_children, parent, name, _graph.numNodes(parent), [&](int c) {
        const int child = _graph.getNode(c, parent);
        return std::make_pair(_graph.nodeName(child), child);
    });
}

int NameIndex::port(int node, bool input, const QString& name) {
    const int count = numPorts(_graph, node, input);
    // A short list is searched as it is: a table for each would cost more than it saves.
    if (count > kShortList)
        return find(_ports[input], node, name, count,
                    [&](int p) { return std::make_pair(portName(_graph, node, input, p), p); });
    int found = -1;
    for (int p = 0; p < count; ++p) {
        if (portName(_graph, node, input, p) != name) continue;
        if (found >= 0) return -2;
        found = p;
    }
    return found;
}

template <typename Entry>
int NameIndex::find(Tables& tables, int list, const QString& name, int count, Entry entry) {
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

QString portName(const Graph& graph, int node, bool input, int port) {
    return input ? graph.inputName(node, port) : graph.outputName(node, port);
}

int numPorts(const Graph& graph, int node, bool input) {
    return input ? graph.numInputs(node) : graph.numOutputs(node);
}

bool readString(const QJsonValue& value, const Pointer& at, Errors& errors, QString* out) {
    if (!value.isString()) return errors.fail(at, QStringLiteral("expected a string"));
    *out = value.toString();
    return true;
}

bool toInt(const QJsonValue& value, int* out) {
    return value.isDouble() && wholeInt(value.toDouble(), out);
}

bool readInt(const QJsonValue& value, const Pointer& at, Errors& errors, int* out) {
    return toInt(value, out) ||
           errors.fail(at, QStringLiteral("expected a whole number within the range of int"));
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

// With ids, creation follows them: they must be the refs 1..n-1, each above its parent's and
// rising along each list of children, as refs handed out by addNode are.
bool applyIds(Errors& errors, GraphDesc* desc) {
    const QVector<int>& ids = desc->ids;
    QVector<NodeDesc>& nodes = desc->nodes;
    const int count = nodes.size();
    const bool withIds = count > 1 && ids.at(1) >= 0;
    if (!withIds) {
        for (int n = 2; n < count; ++n) {
            if (ids.at(n) >= 0)
                return errors.fail(nodeAt(*desc, n) / kId,
                                   QStringLiteral("ids must be given on every node or none"));
        }
        return true;
    }
    QVector<int> byId(count, -1);
    QVector<int> lastChildId(count, 0);
    for (int n = 1; n < count; ++n) {
        const int id = ids.at(n);
        const auto at = [&] { return nodeAt(*desc, n) / kId; };
        if (id < 0) return errors.fail(nodeAt(*desc, n), QStringLiteral("this node has no id"));
        if (id == 0 || id >= count)
            return errors.fail(at(),
                               QStringLiteral("id %1 is outside 1..%2").arg(id).arg(count - 1));
        if (byId.at(id) >= 0)
            return errors.fail(at(), QStringLiteral("id %1 is used twice").arg(id));
        const int parent = nodes.at(n).parent;
        const int parentId = parent == 0 ? 0 : ids.at(parent);
        if (id < parentId)
            return errors.fail(
                at(), QStringLiteral("id %1 is below its parent's id %2").arg(id).arg(parentId));
        if (id < lastChildId.at(parent))
            return errors.fail(
                at(), QStringLiteral("id %1 is below the id of an earlier sibling").arg(id));
        lastChildId[parent] = id;
        byId[id] = n;
    }
    QVector<int> idOf(ids);
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

bool readGraphDesc(const QJsonObject& object, const Pointer& at, const QStringList& extraNodeKeys,
                   Errors& errors, GraphDesc* desc) {
    QJsonObject root;
    if (!readObject(object.value(kRoot), at / kRoot, errors, &root)) return false;
    NodeReader reader(extraNodeKeys, errors, desc);
    desc->at = at;
    if (!reader.read(root, at / kRoot, -1, 0) || !applyIds(errors, desc)) return false;

    QJsonArray edges;
    if (object.contains(kEdges) && !readArray(object.value(kEdges), at / kEdges, errors, &edges))
        return false;
    desc->edges.reserve(edges.size());
    for (int e = 0; e < edges.size(); ++e) {
        const Pointer edgeAt = at / kEdges / e;
        QJsonObject edgeObject;
        QJsonArray from;
        QJsonArray to;
        if (!readObject(edges.at(e), edgeAt, errors, &edgeObject) ||
            !checkKeys(edgeObject, {kFrom, kTo}, edgeAt, errors) ||
            !readArray(edgeObject.value(kFrom), edgeAt / kFrom, errors, &from) ||
            !readArray(edgeObject.value(kTo), edgeAt / kTo, errors, &to))
            return false;
        EdgeDesc edge;
        edge.from = appendTokens(from, desc);
        edge.to = appendTokens(to, desc);
        desc->edges.append(edge);
    }
    return true;
}

bool buildGraph(const GraphDesc& desc, Errors& errors, Graph* graph) {
    const NodeDesc& root = desc.nodes.at(0);
    graph->setNodeName(Graph::kRootNodeRef, root.name);
    graph->setNodeValue(Graph::kRootNodeRef, root.value);
    addPorts(*graph, Graph::kRootNodeRef, root, 0, 0);
    for (int n = 1; n < desc.nodes.size(); ++n) {
        // Ports made with their node, as a host makes them, save growing each list port by port.
        const NodeDesc& node = desc.nodes.at(n);
        const int inputs = ungrouped(node.inputs);
        const int outputs = ungrouped(node.outputs);
        const int ref = graph->addNode(node.name, inputs, outputs, node.parent);
        if (node.value != -1) graph->setNodeValue(ref, node.value);
        addPorts(*graph, ref, node, inputs, outputs);
    }
    NameIndex names(*graph);
    // Made once: only an error asks where it is.
    int e = 0;
    const Place at = [&desc, &e] { return desc.at / kEdges / e; };
    const PathPlace fromAt = [&at](int s) { return s < 0 ? at() / kFrom : at() / kFrom / s; };
    const PathPlace toAt = [&at](int s) { return s < 0 ? at() / kTo : at() / kTo / s; };
    for (; e < desc.edges.size(); ++e) {
        const EdgeDesc& edge = desc.edges.at(e);
        End from;
        End to;
        if (!resolveEnd(*graph, names, desc, edge.from, fromAt, errors, &from) ||
            !resolveEnd(*graph, names, desc, edge.to, toAt, errors, &to) ||
            !addEdge(*graph, names, from, to, at, errors))
            return false;
    }
    return true;
}

bool resolveNode(const Graph& graph, const QJsonArray& path, int length, const Pointer& at,
                 Errors& errors, int* node) {
    NameIndex names(graph);
    QVector<PathToken> tokens;
    for (const QJsonValue& token : path) tokens.append(PathToken::fromJson(token));
    return resolvePath(
        graph, names, tokens.constData(), qMin(length, tokens.size()),
        [&at](int s) { return s < 0 ? at : at / s; }, errors, node);
}

PathToken PathToken::fromJson(const QJsonValue& value) {
    PathToken token;
    if (value.isString()) {
        token.kind = Name;
        token.name = value.toString();
    } else if (value.isDouble()) {
        token.kind = Number;
        token.number = value.toDouble();
    }
    return token;
}

Pointer nodeAt(const GraphDesc& desc, int node) {
    if (node <= 0) return desc.at / kRoot;
    const NodeDesc& n = desc.nodes.at(node);
    return nodeAt(desc, n.parent) / kChildren / n.index;
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

}  // namespace detail

using namespace detail;

QJsonObject graphToJson(const Graph& graph) {
    QJsonObject object;
    object.insert(QStringLiteral("format"), QString::fromLatin1(kGraphJsonFormat));
    object.insert(QStringLiteral("version"), kJsonVersion);
    writeGraph(graph, GraphWriteOptions(), &object, nullptr);
    return object;
}

QByteArray saveGraph(const Graph& graph) {
    return graphText(graph);
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
    // Documents as saveGraph writes them are read straight from the text; the rest, errors in
    // the text or in its members included, through Qt's parser and graphFromJson.
    GraphDesc desc;
    if (graph && readGraphText(text, &desc)) {
        Errors errors;
        Graph built;
        if (applyIds(errors, &desc) && buildGraph(desc, errors, &built)) {
            *graph = std::move(built);
            return true;
        }
        if (error) *error = errors.text();
        return false;
    }
    QJsonObject object;
    return parseJsonObject(text, &object, error) && graphFromJson(object, graph, error);
}

}  // namespace Orv
}  // namespace Vantrel
