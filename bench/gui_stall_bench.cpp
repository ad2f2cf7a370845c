// The longest the window goes without handling its events while it reads and writes the
// settings against a silent module: a 10 ms timer on the GUI thread notes its largest gap.
#include <QElapsedTimer>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdio>

#include "BenchWindow.h"
#include "DialogAnswerer.h"

namespace {

// The largest gap between ticks of a 10 ms timer while `action` runs, in milliseconds.
qint64 LongestGap(const std::function<void()>& action)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    ticker.start(10);
    action();
    longest = std::max(longest, clock.elapsed() - last);
    return longest;
}

// Clicks the button and answers every dialog it brings (confirmation, result) with OK.
void ClickThrough(QToolButton* button, int dialogs)
{
    std::vector<std::shared_ptr<SeenDialog>> answers;
    std::function<void(int)> arm = [&](int left) {
        if (left == 0)
            return;
        answers.push_back(AnswerDialog(
            [&, left](QWidget* dialog) {
                arm(left - 1);
                ClickDialogButton(dialog, QStringLiteral("sbOk"));
            },
            30000));
    };
    arm(dialogs);
    button->click();
    for (auto& answer : answers)
        WaitForAnswer(answer, 30000);
}

}  // namespace

int main(int argc, char** argv)
{
    TBenchWindow bench(argc, argv, false);
    TMainForm& form = *bench.Form;
    TModuleSim& sim = bench.Sim;
    ClickThrough(form.findChild<QToolButton*>(QStringLiteral("sbDefaults")), 1);  // an image to write
    sim.InjectFault({TSimFault::Silence, -1});

    auto* read = form.findChild<QToolButton*>(QStringLiteral("sbRead"));
    auto* write = form.findChild<QToolButton*>(QStringLiteral("sbWrite"));
    const qint64 readGap = LongestGap([&] { ClickThrough(read, 1); });
    // The question, the backup's failed read asking to go on without it, the failure.
    const qint64 writeGap = LongestGap([&] { ClickThrough(write, 3); });
    std::printf("GUI stall while reading from a silent module: %lld ms\n", static_cast<long long>(readGap));
    std::printf("GUI stall while writing to a silent module: %lld ms\n", static_cast<long long>(writeGap));
    std::printf("GUI stall %lld ms (goal: at most 100 ms)\n", static_cast<long long>(std::max(readGap, writeGap)));
    return 0;
}
