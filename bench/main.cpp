#include <QApplication>
#include <benchmark/benchmark.h>

int main(int argc, char** argv)
{
    // Without a display the toolkit cannot start on X11; benchmarks that need one skip.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Widgets, for the benchmarks of on-screen feedback and the dashboard preview.
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
