#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

namespace OrvDemo {

struct Options {
    int frames = 48;
    QSize size{640, 360};
    QString outDir = QStringLiteral("out");
    QStringList disabled;  // pass or group names, checked against the graph later
    int failAt = -1;       // -1: no frame fails
    int inFlight = 4;      // passes the renderer may have in flight at once
    int presentMs = 8;     // how long the simulated display takes to show a frame
    bool poll = false;     // sleep between polls rather than wait for the workers' signal
    QString pipeline;      // description to load; empty for Resources/pipeline.json
    QString savePipeline;  // where to write the loaded description; empty for nowhere
    bool help = false;
};

// Parses the command line (arguments[0] is the program). On a bad option returns false and
// puts a one-line reason in `error`.
bool parseOptions(const QStringList& arguments, Options* options, QString* error);

QString usageText();

}  // namespace OrvDemo
