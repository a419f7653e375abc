#include <Orv/Graph.h>
#include <Orv/Json.h>

#include "json/graphjson_p.h"
#include "json/jsontext_p.h"

#include <QHash>
#include <QVarLengthArray>

#include <algorithm>

namespace Vantrel {
namespace Orv {
namespace detail {

namespace {

// The graph document as JsonWriter reads it, worked out from the graph as the writer asks, so
// that the text needs no tree of Qt's JSON values. graphToJson converts the same values, so the
// object and the text cannot disagree.
class GraphModel {
public:
    enum class Kind : quint8 {
        Text,
        Number,
        Document,
        Node,
        Ports,     // a node's inputs or outputs
        Port,      // a port in a group: {name, group}
        Groups,    // a node's input or output groups
        Children,  // a node's children
        Edges,
        Edge,
        End,  // an edge end: the path of its node, then its port
    };

    struct Value {
        Kind kind = Kind::Number;
        bool input = false;  // Ports, Port, Groups, End: which side
        int ref = 0;         // node, or edge for an Edge
        int port = 0;        // Port, End
        QString text;
        qint64 number = 0;
        // Node: its member keys; End: the nodes of its path, top first.
        QVarLengthArray<int, 8> items;
    };

    GraphModel(const Graph& graph, const GraphWriteOptions& options)
        : _graph(graph), _options(options), _names(graph) {
        // Purge renumbers the live nodes in table order; ids are written only when that order
        // is not the order in which the tree lists them.
        QVector<int> preOrder;
        collect(Graph::kRootNodeRef, &preOrder);
        const int count = _graph.numNodesGlobal();
        _idOf.fill(-1, count);
        _segment.fill(kUnknown, count);
        int next = 0;
        for (int n = 0; n < count; ++n) {
            if (!_graph.isValidNode(n)) continue;
            _withIds = _withIds || next >= preOrder.size() || preOrder.at(next) != n;
            _idOf[n] = next++;
        }
        _withIds = _withIds || next != preOrder.size();
        for (int e = 0; e < _graph.numEdgesGlobal(); ++e) {
            if (_graph.isRegularEdge(e) || _graph.isDownEdge(e) || _graph.isUpEdge(e))
                _edges.append(e);
        }
    }

    Value document() const { return object(Kind::Document, 0); }
    Value edges() const { return object(Kind::Edges, 0); }
    Value node(int ref) const {
        Value v = object(Kind::Node, ref);
        for (int key = kName; key <= kChildren; ++key) {
            if (hasMember(ref, key)) v.items.append(key);
        }
        return v;
    }
    Value end(int node, bool input, int port) const {
        Value v;
        v.kind = Kind::End;
        v.ref = node;
        v.input = input;
        v.port = port;
        for (int n = node; n != Graph::kRootNodeRef && _graph.isValidNode(n);
             n = _graph.parentNode(n))
            v.items.append(n);
        std::reverse(v.items.begin(), v.items.end());
        return v;
    }

    bool isArray(const Value& v) const {
        return v.kind == Kind::Ports || v.kind == Kind::Groups || v.kind == Kind::Children ||
               v.kind == Kind::Edges || v.kind == Kind::End;
    }
    bool isObject(const Value& v) const {
        return v.kind == Kind::Document || v.kind == Kind::Node || v.kind == Kind::Port ||
               v.kind == Kind::Edge;
    }

    int size(const Value& v) const {
        switch (v.kind) {
            case Kind::Document:
                return 4;
            case Kind::Node:
                return v.items.size();
            case Kind::Port:
            case Kind::Edge:
                return 2;
            case Kind::Ports:
                return numPorts(_graph, v.ref, v.input);
            case Kind::Groups:
                return v.input ? _graph.numInputGroups(v.ref) : _graph.numOutputGroups(v.ref);
            case Kind::Children:
                return _graph.numNodes(v.ref);
            case Kind::Edges:
                return _edges.size();
            case Kind::End:
                return v.items.size() + 1;
            default:
                return 0;
        }
    }

    const char* key(const Value& v, int i) const {
        static const char* const kKeys[] = {
            "format",   "version",     "root",         "edges",  // Document
            "name",     "id",          "value",        "inputs",
            "outputs",  "inputGroups", "outputGroups",  // Node
            "children",                                 //
            "name",     "group",                        // Port
            "from",     "to"};                          // Edge
        switch (v.kind) {
            case Kind::Document:
                return kKeys[i];
            case Kind::Node:
                return kKeys[4 + v.items.at(i)];
            case Kind::Port:
                return kKeys[12 + i];
            default:
                return kKeys[14 + i];
        }
    }
    void appendKey(const Value& v, int i, JsonOut* out) const {
        out->append('"');
        out->append(key(v, i));
        out->append('"');
    }

    Value at(const Value& v, int i) const {
        switch (v.kind) {
            case Kind::Document:
                return i == 0   ? text(QString::fromLatin1(kGraphJsonFormat))
                       : i == 1 ? number(kJsonVersion)
                       : i == 2 ? node(Graph::kRootNodeRef)
                                : edges();
            case Kind::Node:
                return member(v.ref, v.items.at(i));
            case Kind::Ports: {
                if (group(v.ref, v.input, i) == Graph::kInvalidGroupRef)
                    return text(portName(_graph, v.ref, v.input, i));
                Value port = object(Kind::Port, v.ref);
                port.input = v.input;
                port.port = i;
                return port;
            }
            case Kind::Port:
                return i == 0 ? text(portName(_graph, v.ref, v.input, v.port))
                              : number(group(v.ref, v.input, v.port));
            case Kind::Groups:
                return text(v.input ? _graph.inputGroupName(v.ref, i)
                                    : _graph.outputGroupName(v.ref, i));
            case Kind::Children:
                return node(_graph.getNode(i, v.ref));
            case Kind::Edges:
                return object(Kind::Edge, _edges.at(i));
            case Kind::Edge: {
                // A regular edge leaves an output for an input, a down edge joins two inputs and
                // an up edge two outputs.
                const int e = v.ref;
                const bool down = _graph.isDownEdge(e);
                if (i == 0) return end(_graph.edgeSourceNode(e), down, _graph.edgeSourceIndex(e));
                return end(_graph.edgeDestNode(e), _graph.isRegularEdge(e) || down,
                           _graph.edgeDestIndex(e));
            }
            case Kind::End:
                return i < v.items.size() ? segment(v.items.at(i))
                                          : portToken(v.ref, v.input, v.port);
            default:
                return Value();
        }
    }

    void appendScalar(const Value& v, JsonOut* out) const {
        if (v.kind == Kind::Text)
            appendJsonString(v.text, out);
        else
            appendJsonInteger(v.number, out);
    }

    // The value as Qt's JSON, with the renderer's members added to each node.
    bool toJson(const Value& v, QJsonValue* json, QString* error) const {
        if (isArray(v)) {
            QJsonArray array;
            for (int i = 0, count = size(v); i < count; ++i) {
                QJsonValue element;
                if (!toJson(at(v, i), &element, error)) return false;
                array.append(element);
            }
            *json = array;
        } else if (isObject(v)) {
            QJsonObject object;
            for (int i = 0, count = size(v); i < count; ++i) {
                QJsonValue member;
                if (!toJson(at(v, i), &member, error)) return false;
                object.insert(QLatin1String(key(v, i)), member);
            }
            if (v.kind == Kind::Node && _options.decorate &&
                !_options.decorate(v.ref, &object, error))
                return false;
            *json = object;
        } else if (v.kind == Kind::Text) {
            *json = v.text;
        } else {
            *json = double(v.number);
        }
        return true;
    }

private:
    enum NodeKey { kName, kId, kValue, kInputs, kOutputs, kInputGroups, kOutputGroups, kChildren };
    static constexpr int kUnknown = -2;
    static constexpr int kNamed = -1;

    static Value text(const QString& text) {
        Value v;
        v.kind = Kind::Text;
        v.text = text;
        return v;
    }
    static Value number(qint64 number) {
        Value v;
        v.number = number;
        return v;
    }
    static Value object(Kind kind, int ref) {
        Value v;
        v.kind = kind;
        v.ref = ref;
        return v;
    }

    bool hasMember(int node, int key) const {
        const bool ports = node != Graph::kRootNodeRef || _options.rootPorts;
        switch (key) {
            case kName:
                return true;
            case kId:
                return _withIds && node != Graph::kRootNodeRef;
            case kValue:
                return _options.values && _graph.nodeValue(node) != -1;
            case kInputs:
                return ports && _graph.numInputs(node) > 0;
            case kOutputs:
                return ports && _graph.numOutputs(node) > 0;
            case kInputGroups:
                return _graph.numInputGroups(node) > 0;
            case kOutputGroups:
                return _graph.numOutputGroups(node) > 0;
            default:
                return _graph.numNodes(node) > 0;
        }
    }

    Value member(int node, int key) const {
        switch (key) {
            case kName:
                return text(_graph.nodeName(node));
            case kId:
                return number(_idOf.at(node));
            case kValue:
                return number(_graph.nodeValue(node));
            case kInputs:
            case kOutputs:
            case kInputGroups:
            case kOutputGroups: {
                Value v =
                    object(key == kInputs || key == kOutputs ? Kind::Ports : Kind::Groups, node);
                v.input = key == kInputs || key == kInputGroups;
                return v;
            }
            default:
                return object(Kind::Children, node);
        }
    }

    int group(int node, bool input, int port) const {
        return input ? _graph.inputGroup(node, port) : _graph.outputGroup(node, port);
    }

    // A node in a path: its name where no sibling shares it, else its child index.
    Value segment(int node) const {
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
        // A node missing from its parent's list (none is) would be named by its index alone.
        if (_segment.at(node) == kUnknown) _segment[node] = _graph.indexOfNode(node);
        const int known = _segment.at(node);
        return known == kNamed ? text(_graph.nodeName(node)) : number(known);
    }

    // A port: its name where no other port of its side shares it, else its index.
    Value portToken(int node, bool input, int port) const {
        const QString name = portName(_graph, node, input, port);
        return _names.port(node, input, name) >= 0 ? text(name) : number(port);
    }

    void collect(int node, QVector<int>* order) const {
        order->append(node);
        for (int c = 0, count = _graph.numNodes(node); c < count; ++c)
            collect(_graph.getNode(c, node), order);
    }

    const Graph& _graph;
    const GraphWriteOptions& _options;
    QVector<int> _idOf;  // by node ref: its ref after purge
    bool _withIds = false;
    QVector<int> _edges;  // the live edges
    // Worked out as paths ask for them.
    mutable QVector<int> _segment;  // by node ref: kNamed, a child index or kUnknown
    mutable NameIndex _names;
};

}  // namespace

bool writeGraph(const Graph& graph, const GraphWriteOptions& options, QJsonObject* object,
                QString* error) {
    const GraphModel model(graph, options);
    QJsonValue root;
    QJsonValue edges;
    if (!model.toJson(model.node(Graph::kRootNodeRef), &root, error) ||
        !model.toJson(model.edges(), &edges, error))
        return false;
    object->insert(QStringLiteral("root"), root);
    object->insert(QStringLiteral("edges"), edges);
    return true;
}

QJsonArray nodePath(const Graph& graph, int node) {
    const GraphWriteOptions options;
    const GraphModel model(graph, options);
    const GraphModel::Value end = model.end(node, true, 0);
    QJsonArray path;
    for (int i = 0, count = model.size(end) - 1; i < count; ++i) {
        QJsonValue segment;
        model.toJson(model.at(end, i), &segment, nullptr);
        path.append(segment);
    }
    return path;
}

QByteArray graphText(const Graph& graph) {
    const GraphWriteOptions options;
    const GraphModel model(graph, options);
    // About what a graph of unnamed nodes needs per node and per edge.
    JsonOut text(int(qMin<qint64>(
        64 + 80 * qint64(graph.numNodesGlobal()) + 64 * qint64(graph.numEdgesGlobal()), 1 << 26)));
    JsonWriter<GraphModel>(model, &text).write(model.document(), 0, 0);
    text.append('\n');
    return text.take();
}

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
