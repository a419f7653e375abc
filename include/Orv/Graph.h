#pragma once

/// @file
/// The hierarchical port graph and its Graphviz dump.

#include <Orv/OrvCoreExport.h>

#include <QByteArray>
#include <QString>

/// Vendor namespace.
namespace Vantrel {
/// Everything OrvCore exports: the graph, its walkers, the render framework, timing, memory
/// blobs and paths.
namespace Orv {

namespace detail {
struct GraphData;
struct GraphAccess;
}  // namespace detail

/// A hierarchical port graph. Nodes carry named inputs and outputs (ports), optionally gathered
/// into named groups, and nest under one root. Edges join an output to a sibling's input
/// (regular), a parent's input to a child's input (down) or a child's output to its parent's
/// output (up). Nodes and edges are named by refs (table indexes) that stay stable until purge().
///
/// Every operation is safe for any argument: a ref or index outside its table or list makes a
/// query return -1, 0, an empty string or false, and an editor or adder change nothing (adders
/// return -1). Records of removed nodes and edges stay readable until purge(); editors refuse them.
class ORVCORE_EXPORT Graph {
public:
    static const int kInvalidNodeRef = -1;   ///< "No node".
    static const int kInvalidEdgeRef = -1;   ///< "No edge".
    static const int kInvalidGroupRef = -1;  ///< "No group": a port outside every group.
    static const int kRootNodeRef = 0;       ///< The root that every graph has.

    Graph();  ///< A graph holding only the root.
    ~Graph();
    Graph(const Graph& other);             ///< Deep copy of both tables.
    Graph& operator=(const Graph& other);  ///< Deep copy of both tables.
    Graph(Graph&& other) noexcept;         ///< Takes other's tables; other is left as a new graph.
    /// Takes other's tables; other is left as a new graph.
    Graph& operator=(Graph&& other) noexcept;

    /// @name Table-wide access
    /// Global indexes run over every record, removed ones included.
    ///@{
    int numNodesGlobal() const;          ///< Size of the node table, removed nodes included.
    int getNodeGlobal(int index) const;  ///< Returns index itself: a global index is a node ref.
    int numEdgesGlobal() const;          ///< Size of the edge table, removed edges included.
    int getEdgeGlobal(int index) const;  ///< Returns index itself: a global index is an edge ref.
    /// Grows on every edit call and assignment: equal means unchanged.
    quint64 revision() const;
    int numNodes(int parent) const;            ///< Live children of parent.
    int getNode(int index, int parent) const;  ///< Node ref of child `index` of parent.
    ///@}

    /// @name Validity
    /// The only operations that define what a usable ref or index is. A port, group or
    /// destination of a removed node is not valid.
    ///@{
    bool isValidNode(int node) const;                ///< An existing node that is not removed.
    bool isValidInput(int node, int input) const;    ///< A valid node and one of its inputs.
    bool isValidOutput(int node, int output) const;  ///< A valid node and one of its outputs.
    /// A valid input and a position in its list of outgoing (down) edges.
    bool isValidInputDestination(int node, int input, int index) const;
    /// A valid output and a position in its list of outgoing edges.
    bool isValidOutputDestination(int node, int output, int index) const;
    /// A valid node and one of its input groups.
    bool isValidInputGroup(int node, int group) const;
    /// A valid node and one of its output groups.
    bool isValidOutputGroup(int node, int group) const;
    bool isValidEdge(int edge) const;  ///< An existing edge that is not removed.
    ///@}

    /// @name Creation
    /// Ports get the group ref as passed, unchecked; -1 puts them in no group.
    ///@{

    /// Appends a node as the last child of parent, with that many unnamed inputs and outputs;
    /// returns its ref.
    int addNode(const QString& name, int numInputs, int numOutputs, int parent);
    /// Appends an input; returns its index.
    int addInput(int node, const QString& name, int group);
    /// Appends an output; returns its index.
    int addOutput(int node, const QString& name, int group);
    int addInputGroup(int node, const QString& name);  ///< Appends an input group; returns its ref.
    /// Appends an output group; returns its ref.
    int addOutputGroup(int node, const QString& name);
    ///@}

    /// @name Lookup by name
    /// First match in list order (exact, case-sensitive), else -1.
    ///@{
    int findNode(const QString& name, int parent) const;  ///< Among direct children only.
    int findInput(int node, const QString& name) const;   ///< Index of the first input so named.
    int findOutput(int node, const QString& name) const;  ///< Index of the first output so named.
    /// Ref of the first input group so named.
    int findInputGroup(int node, const QString& name) const;
    /// Ref of the first output group so named.
    int findOutputGroup(int node, const QString& name) const;
    ///@}

    /// @name Counts, names, value and parent
    ///@{
    int numInputs(int node) const;        ///< Length of the node's input list.
    int numOutputs(int node) const;       ///< Length of the node's output list.
    int numInputGroups(int node) const;   ///< Length of the node's input group list.
    int numOutputGroups(int node) const;  ///< Length of the node's output group list.

    QString nodeName(int node) const;                 ///< The node's name; the root's is empty.
    void setNodeName(int node, const QString& name);  ///< Replaces the node's name.
    QString inputName(int node, int input) const;     ///< The input's name.
    void setInputName(int node, int input, const QString& name);    ///< Replaces the input's name.
    QString outputName(int node, int output) const;                 ///< The output's name.
    void setOutputName(int node, int output, const QString& name);  ///< Replaces the output's name.
    QString inputGroupName(int node, int group) const;              ///< The input group's name.
    /// Replaces the input group's name.
    void setInputGroupName(int node, int group, const QString& name);
    QString outputGroupName(int node, int group) const;  ///< The output group's name.
    /// Replaces the output group's name.
    void setOutputGroupName(int node, int group, const QString& name);

    int nodeValue(int node) const;  ///< Client value, -1 on a new node; never read by the graph.
    void setNodeValue(int node, int value);  ///< Replaces the client value.
    int parentNode(int node) const;          ///< -1 for the root.
    ///@}

    /// @name Wiring of one port
    /// Its incoming edge (-1 if none), its outgoing edges in the order they were added, its group.
    ///@{
    int inputSource(int node, int input) const;  ///< The regular or down edge ending here, or -1.
    int numInputDestinations(int node, int input) const;         ///< Down edges starting here.
    int inputDestination(int node, int input, int index) const;  ///< Down edge number index.
    int inputGroup(int node, int input) const;              ///< The input's group ref, -1 for none.
    int outputSource(int node, int output) const;           ///< The up edge ending here, or -1.
    int numOutputDestinations(int node, int output) const;  ///< Regular and up edges starting here.
    int outputDestination(int node, int output, int index) const;  ///< Outgoing edge number index.
    int outputGroup(int node, int output) const;  ///< The output's group ref, -1 for none.
    ///@}

    /// @name Edges
    /// Adders return the new edge ref or -1 when refused.
    ///@{

    /// A regular edge from an output to a sibling's input. Refuses nodes that are not siblings,
    /// an input that has a source, an output whose first destination is not regular, and an edge
    /// whose dstNode is srcNode or already feeds it: the search starts at srcNode's inputs and
    /// follows each, through container ports, to the node inside that produces its value, and
    /// so on upstream. Containers passed through are not themselves met, so a loop that runs
    /// through a container's inside (its input, down to a child, out through its output to the
    /// sibling that feeds that input) is accepted; validate() reports such loops.
    int addEdge(int srcNode, int srcOutput, int dstNode, int dstInput);
    /// A down edge from a parent's input to a child's input; refuses a fed child input.
    int addDownEdge(int parentInput, int childNode, int childInput);
    /// An up edge from a child's output to its parent's output; refuses a fed parent output.
    int addUpEdge(int parentOutput, int childNode, int childOutput);
    void removeEdge(int edge);  ///< Unlinks and flags the edge; ignores anything not valid.
    void disconnectInput(int node, int input);       ///< Removes its source and all its down edges.
    void disconnectInputGroup(int node, int group);  ///< disconnectInput for each input of group.
    ///@}

    /// @name Reasons for refusals
    /// The operation of the same name, and then `why` (when not null) says why it refused: the
    /// nodes by path, the ports by name and the rule broken ("input 'color' of node 'tonemap'
    /// already has a source"). It is cleared when nothing was refused. These overloads write
    /// nothing on Qt's channels, not even the by-name adders' assertion lines.
    ///@{
    int addEdge(int srcNode, int srcOutput, int dstNode, int dstInput, QString* why);  ///< addEdge
    int addDownEdge(int parentInput, int childNode, int childInput, QString* why);  ///< addDownEdge
    int addUpEdge(int parentOutput, int childNode, int childOutput, QString* why);  ///< addUpEdge
    /// addEdgeByName; `why` names a port name that is not found.
    int addEdgeByName(int srcNode, const QString& srcOutputName, int dstNode,
                      const QString& dstInputName, QString* why);
    /// addDownEdgeByName; `why` names a port name that is not found.
    int addDownEdgeByName(const QString& parentInputName, int childNode,
                          const QString& childInputName, QString* why);
    /// addUpEdgeByName; `why` names a port name that is not found.
    int addUpEdgeByName(const QString& parentOutputName, int childNode,
                        const QString& childOutputName, QString* why);
    /// connectByName; returns the number of edges made. `why` gets one line per match that was
    /// refused ("input 'x' of node 'b': ..."), or says that no free input matched at all.
    int connectByName(int srcNode, int dstNode, QString* why);
    /// connectGroups; returns the number of edges made, `why` as for connectByName.
    int connectGroups(int srcNode, int srcGroup, int dstNode, int dstGroup, QString* why);
    /// connectNamedGroups; returns the number of edges made, `why` as for connectByName.
    int connectNamedGroups(int srcNode, const QString& srcGroupName, int dstNode,
                           const QString& dstGroupName, QString* why);
    /// connectDownByName; returns the number of edges made, `why` as for connectByName.
    int connectDownByName(int childNode, QString* why);
    /// connectUpByName; returns the number of edges made, `why` as for connectByName.
    int connectUpByName(int childNode, QString* why);
    ///@}

    /// @name Edge kinds and records
    /// The kind follows from the parents of the edge's two nodes; false for removed or unknown
    /// edges. Record fields are readable for removed edges too; -1 outside the table.
    ///@{
    bool isRegularEdge(int edge) const;  ///< Output to a sibling's input.
    bool isDownEdge(int edge) const;     ///< Parent's input to a child's input.
    bool isUpEdge(int edge) const;       ///< Child's output to the parent's output.
    int edgeSourceNode(int edge) const;  ///< The node the edge starts at.
    /// Its port there: an output, or an input for a down edge.
    int edgeSourceIndex(int edge) const;
    int edgeDestNode(int edge) const;   ///< The node the edge ends at.
    int edgeDestIndex(int edge) const;  ///< Its port there: an input, or an output for an up edge.
    ///@}

    /// @name Wiring by name
    /// The result of the matching adder with the ports found by name. addEdgeByName and
    /// addDownEdgeByName write an assertion line on the critical channel for each lookup that
    /// fails, then return -1 without change; addUpEdgeByName just returns -1.
    ///@{

    /// addEdge between the output and the input so named.
    int addEdgeByName(int srcNode, const QString& srcOutputName, int dstNode,
                      const QString& dstInputName);
    /// addDownEdge from the parent's input to the child's input so named.
    int addDownEdgeByName(const QString& parentInputName, int childNode,
                          const QString& childInputName);
    /// addUpEdge from the child's output to the parent's output so named.
    int addUpEdgeByName(const QString& parentOutputName, int childNode,
                        const QString& childOutputName);
    ///@}

    /// @name Matching
    /// Each free input (or output) gets an edge from the first like-named candidate; refused
    /// edges are skipped silently.
    ///@{

    /// dstNode's free inputs from srcNode's outputs.
    void connectByName(int srcNode, int dstNode);
    /// The free inputs of dstGroup from the outputs of srcGroup; -1 selects the ports in no group.
    void connectGroups(int srcNode, int srcGroup, int dstNode, int dstGroup);
    /// connectGroups with groups found by name; unknown names select "no group".
    void connectNamedGroups(int srcNode, const QString& srcGroupName, int dstNode,
                            const QString& dstGroupName);
    void connectDownByName(int childNode);  ///< The child's free inputs from its parent's inputs.
    /// The child's outputs to its parent's like-named outputs.
    void connectUpByName(int childNode);
    ///@}

    /// @name Removal
    /// Nodes and edges are flagged (refs stay valid as indexes until purge); ports and groups are
    /// erased at once, and the refs stored after them move down by one.
    ///@{
    void removeNode(int node);                    ///< With its subtree and every edge touching it.
    void removeInput(int node, int input);        ///< Removes the port's edges first.
    void removeOutput(int node, int output);      ///< Removes the port's edges first.
    void removeInputGroup(int node, int group);   ///< Its ports end up in no group.
    void removeOutputGroup(int node, int group);  ///< Its ports end up in no group.
    void purge();  ///< Drops removed records and renumbers every stored ref.
    ///@}

    /// @name Navigation
    /// A cursor (node, port) moves along edges; on false it is left unchanged.
    ///@{
    bool walkUp(int& node, int& port) const;      ///< Input -> outermost input via down edges.
    bool walkAcross(int& node, int& port) const;  ///< Input -> sibling output via a regular edge.
    bool walkDown(int& node, int& port) const;    ///< Output -> innermost output via up edges.
    /// Input -> the output that produces its value; on false the cursor names the input at the
    /// end of its down-edge chain.
    bool walkToSourceNode(int& node, int& port) const;
    /// True if upstream is downstream or feeds it (through container ports if throughHierarchy);
    /// false if either is outside the node table.
    bool precedes(int upstream, int downstream, bool throughHierarchy) const;
    bool contains(int ancestor, int node) const;  ///< Proper ancestor test.
    int indexOfNode(int node) const;              ///< Child index in its parent, or -1.
    ///@}

    /// @name Paths
    /// Node names from the root down, joined with "/" ("lighting/shadows"). A "/" or "\\"
    /// inside a name is written with a backslash before it ("a\\/b" names the node "a/b").
    ///@{

    /// The path of a live node; empty for the root and for a ref that is not a live node.
    QString nodePath(int node) const;
    /// The node at that path ("" is the root): where siblings share a name, the first node
    /// in child order whose path it is. -1 when there is none or the path ends in a lone
    /// backslash.
    int findNodeByPath(const QString& path) const;
    ///@}

private:
    friend struct detail::GraphAccess;
    detail::GraphData* d;
};

/// Writes the top level of the graph as a Graphviz digraph, one qDebug() call per line.
ORVCORE_EXPORT void dumpAsGraphviz(const Graph* graph);

/// The whole graph as Graphviz DOT text, written nowhere: every level, each container a
/// cluster with its ports, each node with its inputs on the left and outputs on the right by
/// name, edges port to port (regular solid, down dashed, up dotted). The root's ports are drawn
/// as "inputs" and "outputs" nodes. Any names give text that `dot` accepts.
ORVCORE_EXPORT QByteArray graphAsDot(const Graph& graph);

}  // namespace Orv
}  // namespace Vantrel
