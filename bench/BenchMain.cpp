// Benchmarks run with a JUCE message manager, like the editor itself. The transport
// writes every message it sends to standard output, so the results go to standard
// error and standard output is silenced while the benchmarks run.
#include <benchmark/benchmark.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;
    benchmark::Initialize (&argc, argv);

    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 1;

    std::fflush (stdout);
    const int devNull = ::open ("/dev/null", O_WRONLY);

    if (devNull >= 0)
    {
        ::dup2 (devNull, STDOUT_FILENO);
        ::close (devNull);
    }

    benchmark::ConsoleReporter reporter;
    reporter.SetOutputStream (&std::cerr);
    reporter.SetErrorStream (&std::cerr);
    benchmark::RunSpecifiedBenchmarks (&reporter);
    benchmark::Shutdown();
    return 0;
}
