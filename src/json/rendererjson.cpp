#include <Orv/Graph.h>
#include <Orv/Json.h>
#include <Orv/Renderer.h>

#include "json/graphjson_p.h"

#include <QJsonDocument>
#include <QSet>
#include <QStringList>
#include <QVariant>

#include <cfloat>
#include <climits>
#include <cmath>
#include <memory>
#include <vector>

namespace Vantrel {
namespace Orv {

using namespace detail;

namespace {

const QString kFormat = QStringLiteral("format");
const QString kVersion = QStringLiteral("version");
const QString kParameters = QStringLiteral("parameters");
const QString kOutputs = QStringLiteral("outputs");
const QString kGraph = QStringLiteral("graph");
const QString kTarget = QStringLiteral("target");
const QString kName = QStringLiteral("name");
const QString kValue = QStringLiteral("value");
const QString kType = QStringLiteral("type");
const QString kEnabled = QStringLiteral("enabled");

// Integers up to 2^53 survive a double, which is all that Qt 5 keeps of a JSON number; larger
// 64-bit values are written as decimal strings.
const double kExactIntegerLimit = 9007199254740992.0;

QString quoted(const QString& text) {
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

// A value as JSON, with a type descriptor of the same shape (a type name for a scalar, an
// array or object of descriptors for a list or map), so that an int comes back as an int and
// not as the double that JSON alone would give. `why` names what cannot be carried.
bool encodeValue(const QVariant& variant, QJsonValue* value, QJsonValue* type, QString* why) {
    const int id = variant.userType();
    switch (id) {
        case QMetaType::UnknownType:
            *value = QJsonValue(QJsonValue::Null);
            *type = QStringLiteral("null");
            return true;
        case QMetaType::Nullptr:
            *value = QJsonValue(QJsonValue::Null);
            *type = QStringLiteral("nullptr");
            return true;
        case QMetaType::Bool:
            *value = variant.toBool();
            *type = QStringLiteral("bool");
            return true;
        case QMetaType::Int:
            *value = variant.toInt();
            *type = QStringLiteral("int");
            return true;
        case QMetaType::UInt:
            *value = double(variant.toUInt());
            *type = QStringLiteral("uint");
            return true;
        case QMetaType::LongLong: {
            const qlonglong number = variant.toLongLong();
            *value = std::fabs(double(number)) <= kExactIntegerLimit
                         ? QJsonValue(double(number))
                         : QJsonValue(QString::number(number));
            *type = QStringLiteral("qlonglong");
            return true;
        }
        case QMetaType::ULongLong: {
            const qulonglong number = variant.toULongLong();
            *value = double(number) <= kExactIntegerLimit ? QJsonValue(double(number))
                                                          : QJsonValue(QString::number(number));
            *type = QStringLiteral("qulonglong");
            return true;
        }
        case QMetaType::Float:
        case QMetaType::Double: {
            const double number = variant.toDouble();
            if (!std::isfinite(number)) {
                *why = QStringLiteral("%1 is not a finite number").arg(number);
                return false;
            }
            *value = number;
            *type = id == QMetaType::Float ? QStringLiteral("float") : QStringLiteral("double");
            return true;
        }
        case QMetaType::QString:
            *value = variant.toString();
            *type = QStringLiteral("QString");
            return true;
        case QMetaType::QStringList:
            *value = QJsonArray::fromStringList(variant.toStringList());
            *type = QStringLiteral("QStringList");
            return true;
        case QMetaType::QVariantList: {
            QJsonArray values;
            QJsonArray types;
            const QVariantList list = variant.toList();
            for (int i = 0; i < list.size(); ++i) {
                QJsonValue elementValue;
                QJsonValue elementType;
                if (!encodeValue(list.at(i), &elementValue, &elementType, why)) {
                    *why = QStringLiteral("element %1: ").arg(i) + *why;
                    return false;
                }
                values.append(elementValue);
                types.append(elementType);
            }
            *value = values;
            *type = types;
            return true;
        }
        case QMetaType::QVariantMap: {
            QJsonObject values;
            QJsonObject types;
            const QVariantMap map = variant.toMap();
            for (auto it = map.begin(); it != map.end(); ++it) {
                QJsonValue elementValue;
                QJsonValue elementType;
                if (!encodeValue(it.value(), &elementValue, &elementType, why)) {
                    *why = QStringLiteral("key ") + quoted(it.key()) + QStringLiteral(": ") + *why;
                    return false;
                }
                values.insert(it.key(), elementValue);
                types.insert(it.key(), elementType);
            }
            *value = values;
            *type = types;
            return true;
        }
        default:
            *why = QStringLiteral("its type ") + quoted(QString::fromLatin1(variant.typeName())) +
                   QStringLiteral(" has no JSON form");
            return false;
    }
}

bool readWhole(const QJsonValue& value, double lo, double hi, const Pointer& at, Errors& errors,
               double* out) {
    const double number = value.toDouble();
    if (!value.isDouble() || number != std::floor(number) || number < lo || number > hi)
        return errors.fail(at, QStringLiteral("expected a whole number from %1 to %2")
                                   .arg(lo, 0, 'g', 20)
                                   .arg(hi, 0, 'g', 20));
    *out = number;
    return true;
}

// A 64-bit integer: a number that a double holds exactly, or a decimal string.
bool readInt64(const QJsonValue& value, bool isSigned, const Pointer& at, Errors& errors,
               QVariant* out) {
    if (value.isString()) {
        bool ok = false;
        const QVariant parsed = isSigned ? QVariant(value.toString().toLongLong(&ok))
                                         : QVariant(value.toString().toULongLong(&ok));
        if (!ok) return errors.fail(at, QStringLiteral("expected a 64-bit integer"));
        *out = parsed;
        return true;
    }
    double number = 0;
    if (!readWhole(value, isSigned ? -kExactIntegerLimit : 0.0, kExactIntegerLimit, at, errors,
                   &number))
        return false;
    *out = isSigned ? QVariant(qlonglong(number)) : QVariant(qulonglong(number));
    return true;
}

// A value as plain JSON gives it: numbers are doubles, arrays lists and objects maps.
QVariant naturalValue(const QJsonValue& value) {
    if (value.isArray()) {
        QVariantList list;
        for (const QJsonValue& element : value.toArray()) list.append(naturalValue(element));
        return list;
    }
    if (value.isObject()) {
        QVariantMap map;
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            map.insert(it.key(), naturalValue(it.value()));
        return map;
    }
    if (value.isDouble()) return value.toDouble();
    if (value.isBool()) return value.toBool();
    if (value.isString()) return value.toString();
    return QVariant();  // null, or a missing value
}

bool decodeValue(const QJsonValue& value, const QJsonValue& type, const Pointer& valueAt,
                 const Pointer& typeAt, Errors& errors, QVariant* out) {
    if (type.isArray()) {
        const QJsonArray types = type.toArray();
        const QJsonArray values = value.toArray();
        if (!value.isArray() || values.size() != types.size())
            return errors.fail(valueAt, QStringLiteral("expected an array of %1 elements, as its"
                                                       " type says")
                                            .arg(types.size()));
        QVariantList list;
        for (int i = 0; i < values.size(); ++i) {
            QVariant element;
            if (!decodeValue(values.at(i), types.at(i), valueAt / i, typeAt / i, errors, &element))
                return false;
            list.append(element);
        }
        *out = list;
        return true;
    }
    if (type.isObject()) {
        const QJsonObject types = type.toObject();
        const QJsonObject values = value.toObject();
        if (!value.isObject() || values.keys() != types.keys())
            return errors.fail(valueAt, QStringLiteral("expected an object with the keys its"
                                                       " type lists"));
        QVariantMap map;
        for (auto it = types.begin(); it != types.end(); ++it) {
            QVariant element;
            if (!decodeValue(values.value(it.key()), it.value(), valueAt / it.key(),
                             typeAt / it.key(), errors, &element))
                return false;
            map.insert(it.key(), element);
        }
        *out = map;
        return true;
    }
    if (type.isUndefined()) {
        *out = naturalValue(value);
        return true;
    }
    if (!type.isString())
        return errors.fail(typeAt, QStringLiteral("expected a type name, array or object"));

    const QString name = type.toString();
    double number = 0;
    if (name == QLatin1String("null") || name == QLatin1String("nullptr")) {
        if (!value.isNull()) return errors.fail(valueAt, QStringLiteral("expected null"));
        *out = name == QLatin1String("null") ? QVariant() : QVariant::fromValue(nullptr);
    } else if (name == QLatin1String("bool")) {
        if (!value.isBool()) return errors.fail(valueAt, QStringLiteral("expected true or false"));
        *out = value.toBool();
    } else if (name == QLatin1String("int")) {
        if (!readWhole(value, INT_MIN, INT_MAX, valueAt, errors, &number)) return false;
        *out = int(number);
    } else if (name == QLatin1String("uint")) {
        if (!readWhole(value, 0, UINT_MAX, valueAt, errors, &number)) return false;
        *out = uint(number);
    } else if (name == QLatin1String("qlonglong") || name == QLatin1String("qulonglong")) {
        return readInt64(value, name == QLatin1String("qlonglong"), valueAt, errors, out);
    } else if (name == QLatin1String("double") || name == QLatin1String("float")) {
        const bool isFloat = name == QLatin1String("float");
        if (!value.isDouble() || (isFloat && std::fabs(value.toDouble()) > double(FLT_MAX)))
            return errors.fail(valueAt, QStringLiteral("expected a number that fits a ") + name);
        *out = isFloat ? QVariant(float(value.toDouble())) : QVariant(value.toDouble());
    } else if (name == QLatin1String("QString")) {
        if (!value.isString()) return errors.fail(valueAt, QStringLiteral("expected a string"));
        *out = value.toString();
    } else if (name == QLatin1String("QStringList")) {
        QStringList list;
        const QJsonArray array = value.toArray();
        if (!value.isArray()) return errors.fail(valueAt, QStringLiteral("expected an array"));
        for (int i = 0; i < array.size(); ++i) {
            if (!array.at(i).isString())
                return errors.fail(valueAt / i, QStringLiteral("expected a string"));
            list.append(array.at(i).toString());
        }
        *out = list;
    } else {
        return errors.fail(typeAt, QStringLiteral("unknown value type ") + quoted(name));
    }
    return true;
}

// What a renderer description holds besides its graph.
struct RendererDesc {
    GraphDesc graph;
    QVector<QVariant> parameterValues;
    QJsonArray target;
    bool hasTarget = false;
    QVector<int> passNodes;  // node refs (creation order) that carry a type
};

bool readParameters(const QJsonObject& document, Errors& errors, RendererDesc* desc,
                    NodeDesc* root) {
    const Pointer at = Pointer() / kParameters;
    QJsonArray list;
    if (document.contains(kParameters) &&
        !readArray(document.value(kParameters), at, errors, &list))
        return false;
    for (int p = 0; p < list.size(); ++p) {
        QJsonObject parameter;
        PortDesc port;
        QVariant value;
        if (!readObject(list.at(p), at / p, errors, &parameter) ||
            !checkKeys(parameter, {kName, kValue, kType}, at / p, errors) ||
            !readString(parameter.value(kName), at / p / kName, errors, &port.name) ||
            !decodeValue(parameter.value(kValue), parameter.value(kType), at / p / kValue,
                         at / p / kType, errors, &value))
            return false;
        root->inputs.append(port);
        desc->parameterValues.append(value);
    }

    const Pointer outputsAt = Pointer() / kOutputs;
    QJsonArray outputs;
    if (document.contains(kOutputs) &&
        !readArray(document.value(kOutputs), outputsAt, errors, &outputs))
        return false;
    for (int o = 0; o < outputs.size(); ++o) {
        PortDesc port;
        if (!readString(outputs.at(o), outputsAt / o, errors, &port.name)) return false;
        root->outputs.append(port);
    }
    return true;
}

// Node members the graph reader leaves to the renderer: a pass's type and enabled flag, and
// nothing the renderer keeps for itself (root ports, node values).
bool checkRendererNodes(RendererDesc* desc, Errors& errors) {
    QVector<NodeDesc>& nodes = desc->graph.nodes;
    const NodeDesc& root = nodes.at(0);
    for (const QString& key : {QStringLiteral("inputs"), QStringLiteral("outputs")}) {
        if (root.object.contains(key))
            return errors.fail(nodeAt(desc->graph, 0) / key,
                               QStringLiteral("the root's ports are the renderer's"
                                              " parameters and outputs"));
    }
    for (int n = 0; n < nodes.size(); ++n) {
        const NodeDesc& node = nodes.at(n);
        if (node.object.contains(kValue))
            return errors.fail(nodeAt(desc->graph, n) / kValue,
                               QStringLiteral("node values belong to the renderer"));
        const bool isPass = node.object.contains(kType);
        if (isPass && n == 0)
            return errors.fail(nodeAt(desc->graph, n) / kType,
                               QStringLiteral("the root is not a pass"));
        if (!isPass && node.object.contains(kEnabled))
            return errors.fail(nodeAt(desc->graph, n) / kEnabled,
                               QStringLiteral("only a pass node has an enabled flag"));
        QString type;
        if (isPass &&
            !readString(node.object.value(kType), nodeAt(desc->graph, n) / kType, errors, &type))
            return false;
        if (node.object.contains(kEnabled) && !node.object.value(kEnabled).isBool())
            return errors.fail(nodeAt(desc->graph, n) / kEnabled,
                               QStringLiteral("expected true or false"));
        if (isPass) desc->passNodes.append(n);
    }
    return true;
}

// A pass's own ports, which a listing in the document must match.
bool takePassPorts(const RenderPass& pass, const QString& type, bool input, GraphDesc* desc, int n,
                   Errors& errors) {
    NodeDesc* node = &desc->nodes[n];
    const int count = qMax(0, input ? pass.numInputs() : pass.numOutputs());
    QVector<PortDesc> ports;
    QStringList names;
    for (int p = 0; p < count; ++p) {
        const QString name = input ? pass.inputName(p) : pass.outputName(p);
        ports.append(PortDesc{name, Graph::kInvalidGroupRef});
        names.append(quoted(name));
    }
    QVector<PortDesc>& listed = input ? node->inputs : node->outputs;
    bool matches = listed.size() == ports.size();
    for (int p = 0; matches && p < ports.size(); ++p)
        matches = listed.at(p).name == ports.at(p).name && listed.at(p).group == ports.at(p).group;
    if ((input ? node->hasInputs : node->hasOutputs) && !matches) {
        const QString side = input ? QStringLiteral("inputs") : QStringLiteral("outputs");
        return errors.fail(nodeAt(*desc, n) / side,
                           QStringLiteral("pass type ") + quoted(type) + QStringLiteral(" has ") +
                               side + QStringLiteral(" (") + names.join(QStringLiteral(", ")) +
                               QStringLiteral("), without groups; these do not match"));
    }
    listed = ports;
    return true;
}

bool isEmpty(const Renderer& renderer) {
    const Graph& graph = *renderer.getGraph();
    const int root = Graph::kRootNodeRef;
    return renderer.numParameters() == 0 && renderer.numOutputs() == 0 &&
           graph.numNodesGlobal() == 1 && graph.numEdgesGlobal() == 0 &&
           graph.numInputs(root) == 0 && graph.numOutputs(root) == 0 &&
           graph.numInputGroups(root) == 0 && graph.numOutputGroups(root) == 0 &&
           renderer.target() == -1;
}

// Repeats on the renderer what buildGraph did on the scratch graph, so every ref comes out the
// same and nothing can be refused.
void fillRenderer(const RendererDesc& desc, const Graph& built,
                  std::vector<std::unique_ptr<RenderPass>>& passes, Renderer* renderer) {
    Graph& graph = *renderer->getGraph();
    const int root = Graph::kRootNodeRef;
    const NodeDesc& rootDesc = desc.graph.nodes.at(0);
    graph.setNodeName(root, rootDesc.name);
    for (int p = 0; p < rootDesc.inputs.size(); ++p)
        renderer->addParameter(rootDesc.inputs.at(p).name, desc.parameterValues.at(p));
    for (const PortDesc& port : rootDesc.outputs) renderer->addOutput(port.name);

    int nextPass = 0;
    for (int n = 0; n < desc.graph.nodes.size(); ++n) {
        const NodeDesc& node = desc.graph.nodes.at(n);
        const bool isPass = nextPass < desc.passNodes.size() && desc.passNodes.at(nextPass) == n;
        int ref = root;
        if (isPass)
            ref = renderer->addPass(node.name, passes[size_t(nextPass++)].release(), node.parent);
        else if (n != root)
            ref = renderer->addGroup(node.name, 0, 0, node.parent);
        Q_ASSERT(ref == n);
        for (const QString& name : node.inputGroups) graph.addInputGroup(ref, name);
        for (const QString& name : node.outputGroups) graph.addOutputGroup(ref, name);
        if (isPass || n == root) continue;
        for (const PortDesc& port : node.inputs) graph.addInput(ref, port.name, port.group);
        for (const PortDesc& port : node.outputs) graph.addOutput(ref, port.name, port.group);
    }
    for (int e = 0; e < built.numEdgesGlobal(); ++e) {
        const int src = built.edgeSourceNode(e);
        const int srcPort = built.edgeSourceIndex(e);
        const int dst = built.edgeDestNode(e);
        const int dstPort = built.edgeDestIndex(e);
        int added = -1;
        if (built.isRegularEdge(e))
            added = graph.addEdge(src, srcPort, dst, dstPort);
        else if (built.isDownEdge(e))
            added = graph.addDownEdge(srcPort, dst, dstPort);
        else
            added = graph.addUpEdge(dstPort, src, srcPort);
        Q_ASSERT(added == e);
        Q_UNUSED(added);
    }
    for (int n : desc.passNodes) {
        if (!desc.graph.nodes.at(n).object.value(kEnabled).toBool(true))
            renderer->setEnabled(n, false);
    }
}

}  // namespace

bool rendererToJson(const Renderer& renderer, const PassTypeName& typeName, QJsonObject* json,
                    QString* error) {
    QString problem;
    auto refuse = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (!json) return refuse(QStringLiteral("no object to save into"));
    if (!typeName) return refuse(QStringLiteral("no pass type names were given"));
    const Graph& graph = *renderer.getGraph();
    const int root = Graph::kRootNodeRef;
    if (graph.numInputs(root) != renderer.numParameters() ||
        graph.numOutputs(root) != renderer.numOutputs())
        return refuse(QStringLiteral("the root has %1 inputs and %2 outputs but the renderer %3"
                                     " parameters and %4 outputs; add root ports only with"
                                     " addParameter and addOutput")
                          .arg(graph.numInputs(root))
                          .arg(graph.numOutputs(root))
                          .arg(renderer.numParameters())
                          .arg(renderer.numOutputs()));

    QJsonObject document;
    document.insert(kFormat, QString::fromLatin1(kRendererJsonFormat));
    document.insert(kVersion, kJsonVersion);
    QJsonArray parameters;
    for (int p = 0; p < renderer.numParameters(); ++p) {
        QJsonObject parameter;
        QJsonValue value;
        QJsonValue type;
        // parameterValue only reads, but is not declared const.
        const QVariant variant = const_cast<Renderer&>(renderer).parameterValue(p);
        if (!encodeValue(variant, &value, &type, &problem))
            return refuse(QStringLiteral("parameter %1 ").arg(p) +
                          quoted(graph.inputName(root, p)) + QStringLiteral(": ") + problem);
        parameter.insert(kName, graph.inputName(root, p));
        parameter.insert(kValue, value);
        parameter.insert(kType, type);
        parameters.append(parameter);
    }
    document.insert(kParameters, parameters);
    QJsonArray outputs;
    for (int o = 0; o < renderer.numOutputs(); ++o) outputs.append(graph.outputName(root, o));
    document.insert(kOutputs, outputs);

    GraphWriteOptions options;
    options.rootPorts = false;
    options.values = false;
    options.decorate = [&](int node, QJsonObject* object, QString* why) {
        const RenderPass* pass = renderer.renderPass(node);
        if (!pass) return true;
        const QString type = typeName(*pass);
        if (type.isEmpty()) {
            *why = QStringLiteral("the pass of ") + describeNode(graph, node) +
                   QStringLiteral(" has no type name");
            return false;
        }
        bool matches = graph.numInputs(node) == qMax(0, pass->numInputs()) &&
                       graph.numOutputs(node) == qMax(0, pass->numOutputs());
        for (int i = 0; matches && i < graph.numInputs(node); ++i)
            matches = graph.inputName(node, i) == pass->inputName(i) &&
                      graph.inputGroup(node, i) == Graph::kInvalidGroupRef;
        for (int o = 0; matches && o < graph.numOutputs(node); ++o)
            matches = graph.outputName(node, o) == pass->outputName(o) &&
                      graph.outputGroup(node, o) == Graph::kInvalidGroupRef;
        if (!matches) {
            *why = QStringLiteral("the ports of ") + describeNode(graph, node) +
                   QStringLiteral(" no longer match its pass");
            return false;
        }
        object->insert(kType, type);
        object->insert(kEnabled, renderer.enabled(node));
        return true;
    };
    QJsonObject graphObject;
    if (!writeGraph(graph, options, &graphObject, &problem)) return refuse(problem);
    document.insert(kGraph, graphObject);

    const int target = renderer.target();
    if (target != -1) {
        if (!graph.isValidNode(target))
            return refuse(QStringLiteral("the target %1 is not a live node").arg(target));
        document.insert(kTarget, nodePath(graph, target));
    }
    *json = document;
    return true;
}

bool saveRenderer(const Renderer& renderer, const PassTypeName& typeName, QByteArray* text,
                  QString* error) {
    QJsonObject object;
    if (!text) {
        if (error) *error = QStringLiteral("no text to save into");
        return false;
    }
    if (!rendererToJson(renderer, typeName, &object, error)) return false;
    *text = formatJson(object);
    return true;
}

bool rendererFromJson(const QJsonObject& json, const PassFactory& factory, Renderer* renderer,
                      QString* error) {
    Errors errors;
    RendererDesc desc;
    QJsonObject graphObject;
    Graph built;
    // Owned here until the renderer takes them, so that a failed load deletes them.
    std::vector<std::unique_ptr<RenderPass>> passes;
    QSet<RenderPass*> made;

    auto load = [&]() -> bool {
        if (!renderer) return errors.fail(Pointer(), QStringLiteral("no renderer to load into"));
        if (!factory) return errors.fail(Pointer(), QStringLiteral("no pass factory was given"));
        if (!isEmpty(*renderer))
            return errors.fail(Pointer(), QStringLiteral("the renderer is not empty"));
        if (!checkHeader(json, kRendererJsonFormat, errors) ||
            !checkKeys(json, {kFormat, kVersion, kParameters, kOutputs, kGraph, kTarget}, Pointer(),
                       errors) ||
            !readObject(json.value(kGraph), Pointer() / kGraph, errors, &graphObject) ||
            !checkKeys(graphObject, {QStringLiteral("root"), QStringLiteral("edges")},
                       Pointer() / kGraph, errors) ||
            !readGraphDesc(graphObject, Pointer() / kGraph, {kType, kEnabled}, errors,
                           &desc.graph) ||
            !checkRendererNodes(&desc, errors) ||
            !readParameters(json, errors, &desc, &desc.graph.nodes[0]))
            return false;

        for (int n : desc.passNodes) {
            const NodeDesc& node = desc.graph.nodes.at(n);
            const QString type = node.object.value(kType).toString();
            RenderPass* pass = factory(type);
            if (!pass)
                return errors.fail(nodeAt(desc.graph, n) / kType,
                                   QStringLiteral("unknown pass type ") + quoted(type));
            if (made.contains(pass))
                return errors.fail(nodeAt(desc.graph, n) / kType,
                                   QStringLiteral("the factory returned the same pass twice"));
            made.insert(pass);
            passes.emplace_back(pass);
            if (!takePassPorts(*pass, type, true, &desc.graph, n, errors) ||
                !takePassPorts(*pass, type, false, &desc.graph, n, errors))
                return false;
        }
        if (!buildGraph(desc.graph, errors, &built)) return false;

        int target = -1;
        const QJsonValue targetValue = json.value(kTarget);
        if (!targetValue.isUndefined() && !targetValue.isNull()) {
            QJsonArray path;
            if (!readArray(targetValue, Pointer() / kTarget, errors, &path) ||
                !resolveNode(built, path, path.size(), Pointer() / kTarget, errors, &target))
                return false;
        }
        fillRenderer(desc, built, passes, renderer);
        renderer->setTarget(target);
        return true;
    };
    if (load()) return true;
    if (error) *error = errors.text();
    return false;
}

bool loadRenderer(const QByteArray& text, const PassFactory& factory, Renderer* renderer,
                  QString* error) {
    QJsonObject object;
    return parseJsonObject(text, &object, error) &&
           rendererFromJson(object, factory, renderer, error);
}

}  // namespace Orv
}  // namespace Vantrel
