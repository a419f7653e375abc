#include "json_reference.h"

#include <Orv/Json.h>

#include <QJsonDocument>
#include <QJsonParseError>

bool loadGraphThroughQt(const QByteArray& text, Vantrel::Orv::Graph* graph, QString* error) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("malformed JSON at offset %1: %2")
                     .arg(parseError.offset)
                     .arg(parseError.errorString());
        return false;
    }
    if (!document.isObject()) {
        *error = QStringLiteral("/: expected an object");
        return false;
    }
    return Vantrel::Orv::graphFromJson(document.object(), graph, error);
}
