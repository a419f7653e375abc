#include "render/passports_p.h"

namespace Vantrel {
namespace Orv {

int detail::passPorts(const RenderPass& pass, Side side) {
    return qMax(0, side == Side::Input ? pass.numInputs() : pass.numOutputs());
}

QString detail::passPortName(const RenderPass& pass, Side side, int port) {
    return side == Side::Input ? pass.inputName(port) : pass.outputName(port);
}

QVector<detail::PortMismatch> detail::passPortMismatches(const Graph& graph, int node,
                                                         const RenderPass& pass) {
    QVector<PortMismatch> mismatches;
    for (const Side side : {Side::Input, Side::Output}) {
        const int count = numPorts(graph, node, side);
        if (count != passPorts(pass, side)) {
            mismatches.append(PortMismatch{PortMismatch::Count, side, -1});
            continue;
        }
        for (int p = 0; p < count; ++p) {
            if (portName(graph, node, side, p) != passPortName(pass, side, p))
                mismatches.append(PortMismatch{PortMismatch::Name, side, p});
            else if (portGroup(graph, node, side, p) != Graph::kInvalidGroupRef)
                mismatches.append(PortMismatch{PortMismatch::Group, side, p});
        }
    }
    return mismatches;
}

}  // namespace Orv
}  // namespace Vantrel
