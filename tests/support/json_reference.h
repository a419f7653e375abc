#pragma once

#include <Orv/Graph.h>

#include <QByteArray>
#include <QString>

// loadGraph as it reads through Qt's JSON parser and graphFromJson: the reference that the
// library's direct reading of saved text must match, result, message and graph alike.
bool loadGraphThroughQt(const QByteArray& text, Vantrel::Orv::Graph* graph, QString* error);
