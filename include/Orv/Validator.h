#pragma once

/// @file
/// What validate() finds wrong or doubtful in a graph or a renderer's set-up.

#include <Orv/OrvCoreExport.h>

#include <QString>
#include <QVector>

namespace Vantrel {
namespace Orv {

class Graph;
class Renderer;

/// One problem that validate() found, about a node and perhaps one of its ports.
struct ORVCORE_EXPORT Finding {
    /// How much the problem matters.
    enum class Severity {
        Error,    ///< the renderer's set-up is broken; frames will not do what it says
        Warning,  ///< work or wiring that has no effect
        Note      ///< legal, but perhaps not what was meant
    };
    /// Which of the node's port lists `port` indexes.
    enum class Side {
        None,   ///< the finding is about the node (or the renderer) as a whole
        Input,  ///< an input
        Output  ///< an output
    };

    Severity severity = Severity::Note;  ///< how much it matters
    int node = -1;                       ///< node ref; -1 when no live node is concerned
    QString path;            ///< names from below the root, "lighting/direct"; empty for the root
    Side side = Side::None;  ///< which list `port` indexes
    int port = -1;           ///< port index, or -1
    QString portName;        ///< the port's name when there is a port
    QString message;         ///< one English sentence

    /// "warning: bloom output 'bloom': Nothing inside the group feeds this output."
    QString toString() const;
};

/// What is wrong with a plain graph: container ports that lead nowhere, names that by-name
/// wiring cannot tell apart, and nodes that feed one another in a loop through container
/// ports (one warning per loop, on its first node). Errors first, then warnings, then notes; in
/// node order within each.
ORVCORE_EXPORT QVector<Finding> validate(const Graph& graph);
/// Everything validate(const Graph&) finds on the renderer's graph (its groups are the nodes
/// without a pass), plus what only a renderer can have: root ports that are not parameters or
/// outputs, pass nodes whose ports no longer match their pass, a dead target, outputs nothing
/// feeds, passes no frame needs (the frame's own plan decides), pass inputs left to their
/// defaults, and the inputs that a loop makes read a value of the frame before (a warning on
/// each, naming the pass read).
ORVCORE_EXPORT QVector<Finding> validate(const Renderer& renderer);

}  // namespace Orv
}  // namespace Vantrel
