#pragma once

#include <Orv/OrvCoreExport.h>

#include <QString>

namespace Vantrel {
namespace Orv {

struct GraphData;

// A hierarchical port graph. Nodes carry named inputs and outputs (ports), optionally gathered
// into named groups, and nest under one root. Edges join an output to a sibling's input
// (regular), a parent's input to a child's input (down) or a child's output to its parent's
// output (up). Nodes and edges are named by refs (table indexes) that stay stable until purge().
//
// Every operation is safe for any argument: a ref or index outside its table or list makes a
// query return -1, 0, an empty string or false, and an editor or adder change nothing (adders
// return -1). Records of removed nodes and edges stay readable until purge(); editors refuse them.
class ORVCORE_EXPORT Graph {
public:
    static const int kInvalidNodeRef = -1;
    static const int kInvalidEdgeRef = -1;
    static const int kInvalidGroupRef = -1;
    static const int kRootNodeRef = 0;

    Graph();  // a graph holding only the root
    ~Graph();
    Graph(const Graph& other);  // deep copy of both tables
    Graph& operator=(const Graph& other);
    Graph(Graph&& other) noexcept;  // other is left as a new graph
    Graph& operator=(Graph&& other) noexcept;

    // Table-wide access: global indexes run over every record, removed ones included.
    int numNodesGlobal() const;
    int getNodeGlobal(int index) const;  // returns index itself
    int numEdgesGlobal() const;
    int getEdgeGlobal(int index) const;  // returns index itself
    quint64 revision() const;  // grows on every edit call and assignment: equal means unchanged
    int numNodes(int parent) const;  // live children of parent
    int getNode(int index, int parent) const;  // node ref of child `index` of parent

    // Validity: the only operations that define what a usable ref or index is.
    bool isValidNode(int node) const;
    bool isValidInput(int node, int input) const;
    bool isValidOutput(int node, int output) const;
    bool isValidInputDestination(int node, int input, int index) const;
    bool isValidOutputDestination(int node, int output, int index) const;
    bool isValidInputGroup(int node, int group) const;
    bool isValidOutputGroup(int node, int group) const;
    bool isValidEdge(int edge) const;

    // Creation. Ports get the group ref as passed, unchecked; -1 puts them in no group.
    int addNode(const QString& name, int numInputs, int numOutputs, int parent);
    int addInput(int node, const QString& name, int group);
    int addOutput(int node, const QString& name, int group);
    int addInputGroup(int node, const QString& name);
    int addOutputGroup(int node, const QString& name);

    // Lookup by name: first match in list order (exact, case-sensitive), else -1.
    int findNode(const QString& name, int parent) const;  // direct children only
    int findInput(int node, const QString& name) const;
    int findOutput(int node, const QString& name) const;
    int findInputGroup(int node, const QString& name) const;
    int findOutputGroup(int node, const QString& name) const;

    int numInputs(int node) const;
    int numOutputs(int node) const;
    int numInputGroups(int node) const;
    int numOutputGroups(int node) const;

    QString nodeName(int node) const;
    void setNodeName(int node, const QString& name);
    QString inputName(int node, int input) const;
    void setInputName(int node, int input, const QString& name);
    QString outputName(int node, int output) const;
    void setOutputName(int node, int output, const QString& name);
    QString inputGroupName(int node, int group) const;
    void setInputGroupName(int node, int group, const QString& name);
    QString outputGroupName(int node, int group) const;
    void setOutputGroupName(int node, int group, const QString& name);

    int nodeValue(int node) const;  // client value, -1 on a new node; never read by the graph
    void setNodeValue(int node, int value);
    int parentNode(int node) const;  // -1 for the root

    // Wiring of one port: its incoming edge (-1 if none), its outgoing edges, its group.
    int inputSource(int node, int input) const;
    int numInputDestinations(int node, int input) const;
    int inputDestination(int node, int input, int index) const;
    int inputGroup(int node, int input) const;
    int outputSource(int node, int output) const;
    int numOutputDestinations(int node, int output) const;
    int outputDestination(int node, int output, int index) const;
    int outputGroup(int node, int output) const;

    // Edges. Adders return the new edge ref or -1 when refused. addEdge refuses an input that
    // has a source, an output whose first destination is not regular, an edge that would close
    // a cycle (through container ports), and nodes that are not siblings.
    int addEdge(int srcNode, int srcOutput, int dstNode, int dstInput);
    int addDownEdge(int parentInput, int childNode, int childInput);  // refuses a fed child input
    int addUpEdge(int parentOutput, int childNode, int childOutput);  // refuses a fed parent output
    void removeEdge(int edge);  // unlinks and flags the edge; ignores anything not valid
    void disconnectInput(int node, int input);  // its source and all its down edges
    void disconnectInputGroup(int node, int group);  // disconnectInput for each input of group

    // Edge kind follows from the parents of its two nodes; false for removed or unknown edges.
    bool isRegularEdge(int edge) const;
    bool isDownEdge(int edge) const;
    bool isUpEdge(int edge) const;
    // Record fields, readable for removed edges too; -1 outside the table.
    int edgeSourceNode(int edge) const;
    int edgeSourceIndex(int edge) const;
    int edgeDestNode(int edge) const;
    int edgeDestIndex(int edge) const;

    // Wiring by name. The two checked adders write an assertion line on the critical channel
    // for each lookup that fails, then return -1 without change.
    int addEdgeByName(int srcNode, const QString& srcOutputName, int dstNode,
                      const QString& dstInputName);
    int addDownEdgeByName(const QString& parentInputName, int childNode,
                          const QString& childInputName);
    int addUpEdgeByName(const QString& parentOutputName, int childNode,
                        const QString& childOutputName);
    // Matching: each free input (or output) gets an edge from the first like-named candidate;
    // refused edges are skipped silently.
    void connectByName(int srcNode, int dstNode);
    void connectGroups(int srcNode, int srcGroup, int dstNode, int dstGroup);
    void connectNamedGroups(int srcNode, const QString& srcGroupName, int dstNode,
                            const QString& dstGroupName);  // unknown names select "no group"
    void connectDownByName(int childNode);
    void connectUpByName(int childNode);

    // Removal. Nodes and edges are flagged (refs stay valid as indexes until purge); ports and
    // groups are erased at once, and the refs stored after them move down by one.
    void removeNode(int node);  // with its subtree and every edge touching it
    void removeInput(int node, int input);  // removes the port's edges first
    void removeOutput(int node, int output);
    void removeInputGroup(int node, int group);  // its ports end up in no group
    void removeOutputGroup(int node, int group);
    void purge();  // drops removed records and renumbers every stored ref

    // Navigation. A cursor (node, port) moves along edges; on false it is left unchanged.
    bool walkUp(int& node, int& port) const;  // input -> outermost input via down edges
    bool walkAcross(int& node, int& port) const;  // input -> sibling output via a regular edge
    bool walkDown(int& node, int& port) const;  // output -> innermost output via up edges
    // input -> the output that produces its value; on false the cursor names the input at the
    // end of its down-edge chain.
    bool walkToSourceNode(int& node, int& port) const;
    // True if upstream is downstream or feeds it (through container ports if throughHierarchy);
    // false if either is outside the node table.
    bool precedes(int upstream, int downstream, bool throughHierarchy) const;
    bool contains(int ancestor, int node) const;  // proper ancestor test
    int indexOfNode(int node) const;  // child index in its parent, or -1

private:
    GraphData* d;
};

// Writes the top level of the graph as a Graphviz digraph, one qDebug() call per line.
ORVCORE_EXPORT void dumpAsGraphviz(const Graph* graph);

}  // namespace Orv
}  // namespace Vantrel
