#pragma once

#include <Orv/OrvCoreExport.h>

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <functional>

namespace Vantrel {
namespace Orv {

class Graph;
class Renderer;
class RenderPass;

/// @file
/// Graphs and renderers as JSON documents, in the format that docs/json-format.md describes.
/// The library reads and writes no files: the host stores the text or the QJsonObject wherever
/// it likes.
///
/// A loader either replaces its target completely or leaves it exactly as it was and reports
/// one error as "<JSON pointer>: <problem>", for example
/// "/edges/3: input 'color' of node 'tonemap' already has a source". The pointer of the whole
/// document is empty (": missing member 'format'"); malformed text also names its line and
/// column (": malformed JSON at line 3, column 7: ..."). Unknown and repeated members are
/// refused, and so is a number that is not written as a whole number where one is expected
/// ("1.0" for 1).
///
/// Strings are written as UTF-8; a name holding half of a UTF-16 surrogate pair, which UTF-8
/// cannot carry, is written with U+FFFD in its place.

/// Name of a graph document's "format" member.
ORVCORE_EXPORT extern const char* const kGraphJsonFormat;
/// Name of a renderer document's "format" member.
ORVCORE_EXPORT extern const char* const kRendererJsonFormat;
/// The document version that the savers write and the loaders read.
const int kJsonVersion = 1;
/// How deep arrays and objects may nest in a document, the same limit for saving and loading:
/// a save that would nest deeper is refused, so whatever saves also loads. Each level of nodes
/// takes two (the node and its list of children), so a graph document holds nodes about 250
/// levels below the root.
const int kJsonMaxDepth = 512;

/// Every live node (name, value, ports, groups, children) and every live edge of `graph`.
/// Loading the result gives a graph equal in every query to `graph` after purge() (names with
/// half a surrogate pair excepted). An empty object where saveGraph refuses the graph.
ORVCORE_EXPORT QJsonObject graphToJson(const Graph& graph);
/// graphToJson as indented UTF-8 text; empty where the save is refused (see below).
ORVCORE_EXPORT QByteArray saveGraph(const Graph& graph);
/// saveGraph into `text`, refused (false, `text` untouched, `error` set if given) only for a
/// graph whose nodes nest deeper than kJsonMaxDepth allows.
ORVCORE_EXPORT bool saveGraph(const Graph& graph, QByteArray* text, QString* error);
/// Replaces `graph` with the graph `json` describes, built through the graph's own operations.
/// On false `graph` is unchanged and `error` (if given) says where and what is wrong.
ORVCORE_EXPORT bool graphFromJson(const QJsonObject& json, Graph* graph, QString* error);
/// graphFromJson on JSON text; malformed text is an error like any other.
ORVCORE_EXPORT bool loadGraph(const QByteArray& text, Graph* graph, QString* error);

/// Gives the type name of a pass, under which a PassFactory creates it again. An empty name
/// refuses the save.
using PassTypeName = std::function<QString(const RenderPass& pass)>;
/// Creates a new pass of the named type, or returns null for a type it does not know.
using PassFactory = std::function<RenderPass*(const QString& type)>;

/// The renderer's parameters (names and values), outputs, graph (each node below the root marked
/// as a pass, with its type and enabled flag, or as a group) and target. Refused (false, `json`
/// untouched) for a parameter whose value JSON cannot carry exactly (null, bool, numbers,
/// strings, string lists and lists or maps of these can), a pass without a type name, root
/// ports that are not parameters or outputs, a pass node whose ports no longer match its pass
/// (as validate() reports it), a target that is not a live node, and nesting deeper than
/// kJsonMaxDepth.
ORVCORE_EXPORT bool rendererToJson(const Renderer& renderer, const PassTypeName& typeName,
                                   QJsonObject* json, QString* error);
/// rendererToJson as indented UTF-8 text.
ORVCORE_EXPORT bool saveRenderer(const Renderer& renderer, const PassTypeName& typeName,
                                 QByteArray* text, QString* error);
/// Fills an empty renderer (no parameters, outputs, nodes, edges, root groups or target) with
/// what `json` describes, creating the passes through `factory`; setup is not called. On false
/// the renderer is unchanged and every pass the factory made has been deleted.
ORVCORE_EXPORT bool rendererFromJson(const QJsonObject& json, const PassFactory& factory,
                                     Renderer* renderer, QString* error);
/// rendererFromJson on JSON text.
ORVCORE_EXPORT bool loadRenderer(const QByteArray& text, const PassFactory& factory,
                                 Renderer* renderer, QString* error);

}  // namespace Orv
}  // namespace Vantrel
