#pragma once

#include <Orv/Graph.h>

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

namespace Vantrel {
namespace Orv {
namespace detail {

// A JSON pointer that grows as the readers descend, for error messages.
class Pointer {
public:
    Pointer() = default;
    Pointer operator/(const QString& key) const;
    Pointer operator/(int index) const;
    const QString& text() const { return _text; }

private:
    QString _text;
};

// A place in the document, worked out only when an error names it: building pointers for every
// edge end would cost more than reading the edge.
using Place = std::function<Pointer()>;
// The place of a path (element -1) or of one of its elements.
using PathPlace = std::function<Pointer(int element)>;

// The first error of a load: where it is and what is wrong. Readers return false after fail().
class Errors {
public:
    bool fail(const Pointer& at, const QString& problem);
    QString text() const;

private:
    QString _at;
    QString _problem;
};

// Parses JSON text that must hold an object; the error names the offset of malformed text.
bool parseJsonObject(const QByteArray& text, QJsonObject* object, QString* error);

// Indented JSON text that keeps what fits on one line there, with members in reading order.
QByteArray formatJson(const QJsonObject& object);
// formatJson(graphToJson(graph)), written straight from the graph.
QByteArray graphText(const Graph& graph);

// Typed reads of one member; false (after reporting) when it has the wrong type.
bool readString(const QJsonValue& value, const Pointer& at, Errors& errors, QString* out);
bool readInt(const QJsonValue& value, const Pointer& at, Errors& errors, int* out);
// readInt without a report.
bool toInt(const QJsonValue& value, int* out);
bool readArray(const QJsonValue& value, const Pointer& at, Errors& errors, QJsonArray* out);
bool readObject(const QJsonValue& value, const Pointer& at, Errors& errors, QJsonObject* out);
// Refuses members not in `known`, so that a misspelt key is not silently ignored.
bool checkKeys(const QJsonObject& object, const QStringList& known, const Pointer& at,
               Errors& errors);
// The "format" and "version" members of a document.
bool checkHeader(const QJsonObject& document, const char* format, Errors& errors);

struct PortDesc {
    QString name;
    int group = Graph::kInvalidGroupRef;
};

// One node of a description, in the order the nodes are created (which is their ref).
struct NodeDesc {
    int parent = -1;
    int index = 0;  // its place in its parent's list of children
    QString name;
    int value = -1;
    bool hasInputs = false;
    bool hasOutputs = false;
    QVector<PortDesc> inputs;
    QVector<PortDesc> outputs;
    QStringList inputGroups;
    QStringList outputGroups;
    QJsonObject object;  // for members that a renderer adds (its type, its enabled flag)
};

// One element of an edge end or target path: a name, a number, or something else, which the
// path cannot use.
struct PathToken {
    enum Kind : quint8 { Name, Number, Other };
    Kind kind = Other;
    QString name;
    double number = 0;

    static PathToken fromJson(const QJsonValue& value);
};

// Elements of GraphDesc::tokens.
struct PathRange {
    int begin = 0;
    int size = 0;
};

struct EdgeDesc {
    PathRange from;
    PathRange to;
};

struct GraphDesc {
    Pointer at;               // where the object holding "root" and "edges" is
    QVector<NodeDesc> nodes;  // [0] is the root
    QVector<int> ids;         // in document order, -1 where none was given
    QVector<EdgeDesc> edges;
    QVector<PathToken> tokens;  // the elements of every edge end, one after another
};

// Where node `node` of `desc` is in the document.
Pointer nodeAt(const GraphDesc& desc, int node);
// With ids, puts the nodes in the order they give; refuses ids that addNode could not give.
bool applyIds(Errors& errors, GraphDesc* desc);
// The graph structure of a graph document read straight from its text, for documents that
// graphFromJson would read the same way; false (nothing reported) for anything else, which
// the caller then reads through Qt's parser. Ids are not applied yet.
bool readGraphText(const QByteArray& text, GraphDesc* desc);

// Reads the "root" and "edges" members of `object` (found at `at`). `extraNodeKeys` are further
// members a node may carry; the reader leaves them in NodeDesc::object.
bool readGraphDesc(const QJsonObject& object, const Pointer& at, const QStringList& extraNodeKeys,
                   Errors& errors, GraphDesc* desc);
// Builds the nodes and then the edges on a new graph, in document order, so that node and edge
// refs come out as they were saved. Reports the first refusal.
bool buildGraph(const GraphDesc& desc, Errors& errors, Graph* graph);
// The node that `path` names below the root ("lighting", "direct", or child indexes), in a graph
// built by buildGraph.
bool resolveNode(const Graph& graph, const QJsonArray& path, int length, const Pointer& at,
                 Errors& errors, int* node);

// How to write one graph. The renderer writes its root ports separately, leaves node values to
// itself and adds members to pass nodes.
struct GraphWriteOptions {
    bool rootPorts = true;
    bool values = true;
    // Adds members to a node's object; false (with `error` set) refuses the save.
    std::function<bool(int node, QJsonObject* object, QString* error)> decorate;
};
bool writeGraph(const Graph& graph, const GraphWriteOptions& options, QJsonObject* object,
                QString* error);
// The path of a live node as written in edges and targets: names where they are unique among
// the siblings, child indexes where they are not.
QJsonArray nodePath(const Graph& graph, int node);

// Finds children and ports by name on a graph that no longer changes shape, one table per list,
// made when first asked, so that a search does not cost the length of a long list.
class NameIndex {
public:
    explicit NameIndex(const Graph& graph) : _graph(graph) {}
    // The live child of `parent` so named: its ref, -1 for none, -2 for several.
    int child(int parent, const QString& name);
    // The port of the node's side so named: its index, -1 for none, -2 for several.
    int port(int node, bool input, const QString& name);

private:
    using Tables = QHash<int, QHash<QString, int>>;
    static constexpr int kShortList = 8;

    template <typename Entry>
    static int find(Tables& tables, int list, const QString& name, int count, Entry entry);

    const Graph& _graph;
    Tables _children;
    Tables _ports[2];  // outputs, inputs
};

// A port's name and the length of a side, for either side.
QString portName(const Graph& graph, int node, bool input, int port);
int numPorts(const Graph& graph, int node, bool input);

// "node 'lighting/direct'", or "the root": how messages name a node.
QString describeNode(const Graph& graph, int node);
// "lighting/direct"; empty for the root.
QString displayPath(const Graph& graph, int node);

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel

// Descriptions of large graphs grow by the thousand: moved, not copied, when their lists grow.
Q_DECLARE_TYPEINFO(Vantrel::Orv::detail::PortDesc, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(Vantrel::Orv::detail::NodeDesc, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(Vantrel::Orv::detail::PathToken, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(Vantrel::Orv::detail::EdgeDesc, Q_PRIMITIVE_TYPE);
