// Runs the benchmarks, then sets the medians side by side as time per item and as ratios.
#include "bench_support.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <unistd.h>

namespace OrvBench {

namespace {

// Median time per item in nanoseconds, by benchmark name and thread count.
using Medians = QMap<QString, double>;

const char kCvSuffix[] = "~cv";

QString resultKey(const std::string& name, int threads) {
    return QString::fromStdString(name) + QStringLiteral("#") + QString::number(threads);
}

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    SummaryReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            // Without repetitions there are no aggregates: the single run stands for itself.
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            // The coefficient of variation of the repetitions, a fraction, kept beside the
            // median under the name with kCvSuffix.
            const bool cv = run.run_type == Run::RT_Aggregate && run.aggregate_name == "cv";
            if (run.error_occurred || !(median || single || cv)) continue;
            const std::string& name = run.run_name.function_name;
            const double items = itemsPerIteration(name);
            if (items <= 0) continue;
            // Single-threaded figures are CPU time (manual sections time themselves that way),
            // so that other work on a shared machine does not count; threads compete in wall time.
            const bool wall = run.threads > 1 || run.run_name.time_type == "manual_time";
            if (cv) {
                medians.insert(resultKey(name + kCvSuffix, int(run.threads)),
                               wall ? run.real_accumulated_time : run.cpu_accumulated_time);
                continue;
            }
            const double time = wall ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime();
            const double ns = time / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
            medians.insert(resultKey(name, int(run.threads)), ns / items);
        }
    }

    Medians medians;
};

// The figures of one or more processes. A value is the median over the processes; a ratio is
// the median of each process's own ratio, since a large graph's figures move together within
// a process but differ between processes.
using Runs = QVector<Medians>;

double medianOf(QVector<double> values) {
    if (values.isEmpty()) return -1.0;
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

double value(const Runs& runs, const std::string& name, int threads = 1) {
    QVector<double> values;
    for (const Medians& m : runs) {
        const double v = m.value(resultKey(name, threads), -1.0);
        if (v >= 0) values.append(v);
    }
    return medianOf(values);
}

QString cell(double v) {
    return v < 0 ? QStringLiteral("-") : QString::number(v, 'f', v < 10 ? 2 : 1);
}

QString ratio(const Runs& runs, const std::string& a, const std::string& b, int threads = 1) {
    QVector<double> ratios;
    for (const Medians& m : runs) {
        const double x = m.value(resultKey(a, threads), -1.0);
        const double y = m.value(resultKey(b, threads), -1.0);
        if (x >= 0 && y > 0) ratios.append(x / y);
    }
    return ratios.isEmpty() ? QStringLiteral("-") : QString::number(medianOf(ratios), 'f', 2);
}

void printRow(const QStringList& cells) {
    QString line;
    for (int i = 0; i < cells.size(); ++i)
        line += i == 0 ? cells.at(i).leftJustified(26) : cells.at(i).rightJustified(12);
    std::printf("%s\n", line.toLocal8Bit().constData());
}

void printHeader(const char* title, const QStringList& columns) {
    std::printf("\n%s\n", title);
    printRow(columns);
}

std::string key(const char* what, Shape shape, int size) {
    return std::string(what) + "/" + shapeName(shape) + "/" + std::to_string(size);
}

void printFrameTable(const Runs& m) {
    printHeader("Frame overhead, ns per pass per frame (median)",
                {"shape/N", "renderer", "baseline", "rend/base", "oneTBB", "tbb/rend"});
    for (Shape shape : allShapes()) {
        for (int size : allSizes()) {
            const std::string r = key("frame-renderer", shape, size);
            const std::string b = key("frame-baseline", shape, size);
            const std::string t = key("frame-tbb", shape, size);
            printRow({QString::fromLatin1(shapeName(shape)) + "/" + QString::number(size),
                      cell(value(m, r)), cell(value(m, b)), ratio(m, r, b), cell(value(m, t)),
                      ratio(m, t, r)});
        }
    }
    printHeader("Frame overhead, ns per pass: N=16384 against N=64",
                {"shape", "renderer 64", "16384", "ratio", "baseline 64", "16384", "ratio"});
    for (Shape shape : allShapes()) {
        QStringList row{QString::fromLatin1(shapeName(shape))};
        for (const char* what : {"frame-renderer", "frame-baseline"}) {
            const std::string small = key(what, shape, 64);
            const std::string large = key(what, shape, 16384);
            row << cell(value(m, small)) << cell(value(m, large)) << ratio(m, large, small);
        }
        printRow(row);
    }
    std::printf("\nThe renderer's frame timer, started and stopped once a frame: %s ns\n",
                qPrintable(cell(value(m, "frame-timer"))));
}

// Light passes: what the frame itself costs, with the spread of the repetitions.
void printLightFrameTable(const Runs& m) {
    printHeader("Light passes (no timer), ns per pass per frame (median; CV of the repetitions)",
                {"shape/N", "renderer", "CV %", "baseline", "CV %", "rend/base", "8 in flight",
                 "/ one", "oneTBB", "tbb/rend"});
    auto cv = [&m](const std::string& name) {
        const double v = value(m, name + kCvSuffix);
        return v < 0 ? QStringLiteral("-") : QString::number(100 * v, 'f', 1);
    };
    for (Shape shape : allShapes()) {
        for (int size : allSizes()) {
            const std::string r = key("frame-light-renderer", shape, size);
            const std::string b = key("frame-light-baseline", shape, size);
            const std::string f = key("frame-light-inflight8", shape, size);
            const std::string t = key("frame-light-tbb", shape, size);
            printRow({QString::fromLatin1(shapeName(shape)) + "/" + QString::number(size),
                      cell(value(m, r)), cv(r), cell(value(m, b)), cv(b), ratio(m, r, b),
                      cell(value(m, f)), ratio(m, f, r), cell(value(m, t)), ratio(m, t, r)});
        }
    }
}

void printOverlapTables(const Runs& m) {
    printHeader("Synchronous passes, 8 in flight against one at a time, ns per pass (median)",
                {"shape/N", "one", "8", "ratio"});
    for (Shape shape : allShapes()) {
        for (int size : allSizes()) {
            const std::string one = key("frame-renderer", shape, size);
            const std::string eight = key("frame-inflight8", shape, size);
            printRow({QString::fromLatin1(shapeName(shape)) + "/" + QString::number(size),
                      cell(value(m, one)), cell(value(m, eight)), ratio(m, eight, one)});
        }
    }
    printHeader("K passes finishing 1 ms after start on worker threads, frame in us (median)",
                {"K", "1 in flight", "K in flight", "K / T", "8, planned", "/ T"});
    for (int k : asyncWidths()) {
        const double one = value(m, asyncKey(k, 1));
        const double all = value(m, asyncKey(k, k));
        const double planned = value(m, asyncPlannedKey(k));
        printRow({QString::number(k), cell(one < 0 ? one : one / 1000),
                  cell(all < 0 ? all : all / 1000), cell(all < 0 ? all : all / 1e6),
                  cell(planned < 0 ? planned : planned / 1000),
                  cell(planned < 0 ? planned : planned / 1e6)});
    }
}

void printInspectionTables(const Runs& m) {
    printHeader("Per-pass timing on against off, ns per pass (median)",
                {"shape/N", "off", "on", "on - off"});
    for (Shape shape : allShapes()) {
        for (int size : allSizes()) {
            const double off = value(m, key("frame-renderer", shape, size));
            const double on = value(m, key("frame-timed", shape, size));
            printRow({QString::fromLatin1(shapeName(shape)) + "/" + QString::number(size),
                      cell(off), cell(on),
                      off < 0 || on < 0 ? QStringLiteral("-") : cell(on - off)});
        }
    }
    const double trace = value(m, "trace-json/layered/1024");
    std::printf("traceJson of 100 frames of the layered 1024 graph: %s ms\n",
                cell(trace < 0 ? trace : trace / 1e6).toLocal8Bit().constData());
    const double dot = value(m, "frame-dot/layered/1024");
    std::printf("frameAsDot of the layered 1024 graph: %s ms\n",
                cell(dot < 0 ? dot : dot / 1e6).toLocal8Bit().constData());
    const double report = value(m, "report-html/layered/1024");
    std::printf("reportHtml of 100 frames of the layered 1024 graph: %s ms\n",
                cell(report < 0 ? report : report / 1e6).toLocal8Bit().constData());
    QStringList explainRow;
    for (int size : allSizes())
        explainRow << QStringLiteral("N=%1 %2").arg(size).arg(
            cell(value(m, key("explain-first", Shape::Chain, size))));
    std::printf("explain of a chain's first pass, ns per pass (median): %s\n",
                explainRow.join(QStringLiteral(", ")).toLocal8Bit().constData());
    printHeader("JSON on the layered graph, ns per edge (median)",
                {"operation", "N=64", "N=1024", "N=16384", "/ build"});
    for (const char* what : {"json-save", "json-load"}) {
        QStringList row{QString::fromLatin1(what)};
        for (int size : allSizes()) row << cell(value(m, key(what, Shape::Layered, size)));
        row << ratio(m, key(what, Shape::Layered, 16384), key("build", Shape::Layered, 16384));
        printRow(row);
    }
}

void printBuildTable(const Runs& m) {
    printHeader("Graph building (producer-first), ns per edge (median)",
                {"shape", "N=64", "N=1024", "N=16384", "16384/64"});
    for (Shape shape : allShapes()) {
        QStringList row{QString::fromLatin1(shapeName(shape))};
        for (int size : allSizes()) row << cell(value(m, key("build", shape, size)));
        row << ratio(m, key("build", shape, 16384), key("build", shape, 64));
        printRow(row);
    }
}

void printLinearTable(const Runs& m) {
    printHeader("Purge and walkers, ns per node (median)",
                {"operation", "N=64", "N=1024", "N=16384", "16384/1024"});
    for (Shape shape : {Shape::Layered, Shape::Chain}) {
        for (const char* what : {"purge", "walk-bottomup", "walk-breadthfirst", "walk-subgraph"}) {
            if (value(m, key(what, shape, 1024)) < 0) continue;
            QStringList row{QString::fromLatin1(what) + " (" + shapeName(shape) + ")"};
            for (int size : allSizes()) row << cell(value(m, key(what, shape, size)));
            row << ratio(m, key(what, shape, 16384), key(what, shape, 1024));
            printRow(row);
        }
    }
}

void printHistogramTable(const Runs& m) {
    printHeader("addFrameTimeUS, ns per sample (median)",
                {"threads", "histogram", "mutex+map", "ratio"});
    for (int threads : {1, 2}) {
        const std::string h = "histogram/orv";
        const std::string b = "histogram/mutexmap";
        printRow({QString::number(threads), cell(value(m, h, threads)), cell(value(m, b, threads)),
                  ratio(m, h, b, threads)});
    }
}

void printMemoryTable(const Runs& m) {
    printHeader("Memory planning on the layered graph, ns per pass (median)",
                {"N", "frame plan", "with memory", "extra/plan", "planMemory", "/plan"});
    for (int size : allSizes()) {
        const std::string plain = memoryKey("replan", size);
        const std::string planned = memoryKey("replan-planned", size);
        const std::string alone = memoryKey("plan", size);
        const double a = value(m, plain);
        const double b = value(m, planned);
        printRow({QString::number(size), cell(a), cell(b),
                  a < 0 || b < 0 ? QStringLiteral("-") : cell((b - a) / a), cell(value(m, alone)),
                  ratio(m, alone, plain)});
    }
    printMemoryFigures();
}

void printTables(const Runs& runs) {
    printFrameTable(runs);
    printLightFrameTable(runs);
    printOverlapTables(runs);
    printInspectionTables(runs);
    printBuildTable(runs);
    printLinearTable(runs);
    printHistogramTable(runs);
    printMemoryTable(runs);
}

// Removes `--name=value` from the arguments and returns the value, or `fallback`.
QString takeOption(int& argc, char** argv, const char* name, const QString& fallback) {
    const QByteArray prefix = QByteArray("--") + name + "=";
    QString found = fallback;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]).startsWith(prefix)) {
            found = QString::fromLocal8Bit(argv[i] + prefix.size());
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    return found;
}

QByteArray shellQuoted(const char* arg) {
    return "'" + QByteArray(arg).replace("'", "'\\''") + "'";
}

const char kFigurePrefix[] = "orv-figure ";

// A large graph's figures vary far more from one process to the next (where its memory lands)
// than between the repetitions of one process, so the summary can take the median over several
// fresh processes, each reporting its own medians.
int runProcesses(int processes, int argc, char** argv) {
    QByteArray command = shellQuoted(argv[0]);
    for (int i = 1; i < argc; ++i) command += " " + shellQuoted(argv[i]);
    command += " --orv_process_role=child";
    Runs runs;
    for (int p = 0; p < processes; ++p) {
        std::fprintf(stderr, "benchmark process %d of %d\n", p + 1, processes);
        FILE* child = popen(command.constData(), "r");
        if (!child) return 1;
        Medians figures;
        char line[512];
        while (std::fgets(line, sizeof line, child)) {
            const QList<QByteArray> fields = QByteArray(line).trimmed().split(' ');
            if (fields.size() == 3 && fields.at(0) == QByteArray(kFigurePrefix).trimmed())
                figures.insert(QString::fromLatin1(fields.at(1)), fields.at(2).toDouble());
        }
        if (pclose(child) != 0) return 1;
        runs.append(figures);
    }
    std::printf("Medians over %d processes\n", processes);
    printTables(runs);
    return 0;
}

}  // namespace

}  // namespace OrvBench

int main(int argc, char** argv) {
    using namespace OrvBench;
    // --orv_processes=K runs K child processes and summarises their figures.
    const int processes = takeOption(argc, argv, "orv_processes", QStringLiteral("1")).toInt();
    const bool child =
        takeOption(argc, argv, "orv_process_role", QString()) == QLatin1String("child");
    if (processes > 1 && !child) return runProcesses(processes, argc, argv);
#if defined(__GLIBC__)
    // Keep freed memory in the process, as a long-running host's heap does: otherwise every
    // iteration over a large graph gets its pages afresh from the kernel (the previous graph's
    // were returned on destruction), and the figures measure page faults, not the library.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    registerFrameBenchmarks();
    registerOverlapBenchmarks();
    registerGraphBenchmarks();
    registerHistogramBenchmarks();
    registerJsonBenchmarks();
    registerWaitBenchmarks();
    registerMemoryBenchmarks();

    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    if (child) {
        for (auto it = reporter.medians.constBegin(); it != reporter.medians.constEnd(); ++it)
            std::printf("%s%s %.4f\n", kFigurePrefix, it.key().toLatin1().constData(), it.value());
        return 0;
    }
    printTables(Runs{reporter.medians});
    return 0;
}
