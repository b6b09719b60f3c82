#pragma once

#include "conversion/ConversionEngine.h"
#include "conversion/RunReport.h"

#include <QStringList>
#include <vector>

// A run asked for from the form: the lines and entries as they stood when it was asked for, so
// that posting after a review posts what was reviewed.
struct FormRun {
    QStringList lines;
    conversion::EntryValues entries;
    bool inventory = true;
};

// What a run from the form did: its figures, how long it took and, for a review, every line's
// report.
struct RunResult {
    runreport::Summary summary;
    std::vector<conversion::LineReport> lines;
    double seconds = 0.0;
};

// Passes everything on to the window's observer and keeps the run's figures on the way.
class RunRecorder final : public conversion::RunObserver {
public:
    // lines are the run's, for the text of the lines without a reading.
    RunRecorder(conversion::RunObserver& window, RunResult& result, bool keepLines,
                const QStringList& lines)
        : m_window(window)
        , m_result(result)
        , m_keepLines(keepLines)
        , m_lines(lines) {}
    void lineStarted(int number) override { m_window.lineStarted(number); }
    void statusChanged(const QString& text) override { m_window.statusChanged(text); }
    void letMessagesRun() override { m_window.letMessagesRun(); }
    bool stopRequested() override { return m_window.stopRequested(); }
    void lineDone(const conversion::LineReport& line) override {
        m_window.lineDone(line);
        m_result.summary.add(line);
        if (m_keepLines) {
            m_result.lines.push_back(line);
            runreport::showPassedOverText(m_result.lines.back(), m_lines);
        }
    }

private:
    conversion::RunObserver& m_window;
    RunResult& m_result;
    bool m_keepLines;
    const QStringList& m_lines;
};
