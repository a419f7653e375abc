#pragma once

#include <QString>
#include <QVector>

namespace Vantrel {
namespace Orv {

struct PortRecord {
    QString name;
    int source = -1;  // edge ending here
    QVector<int> destinations;  // edges starting here, in order of addition
    int group = -1;
};

struct GroupRecord {
    QString name;
};

struct NodeRecord {
    NodeRecord() = default;
    NodeRecord(const QString& name, int parent) : name(name), parent(parent) {}

    QString name;
    int parent = -1;
    int value = -1;
    QVector<PortRecord> inputs;
    QVector<PortRecord> outputs;
    QVector<GroupRecord> inputGroups;
    QVector<GroupRecord> outputGroups;
    QVector<int> children;
    bool removed = false;
};

struct EdgeRecord {
    EdgeRecord() = default;
    EdgeRecord(int srcNode, int srcIndex, int dstNode, int dstIndex)
        : srcNode(srcNode), srcIndex(srcIndex), dstNode(dstNode), dstIndex(dstIndex)
    {
    }

    int srcNode = -1;
    int srcIndex = -1;
    int dstNode = -1;
    int dstIndex = -1;
    bool removed = false;
};

struct GraphData {
    QVector<NodeRecord> nodes;
    QVector<EdgeRecord> edges;
};

}  // namespace Orv
}  // namespace Vantrel
