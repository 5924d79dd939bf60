#pragma once

#include "cli/BatchPlan.h"
#include "cli/DeviceJob.h"
#include "cli/DeviceOutcome.h"

#include <QString>
#include <QStringList>

#include <vector>

class COutput;
class CProgressBar;
class CRunLog;

// How one device of a batch ended: the steps that went through, those it needed that did not
// (after a failure or a stop), where it is reached now, and the outcome of the step that
// failed. A device that a stop kept from being started has not been connected to.
struct BatchResult {
    QString device;
    QString address;
    QStringList steps;
    QStringList notDone;
    DeviceOutcome outcome;
    bool started = true;
};

// Runs a checked plan: devices concurrently, each device's steps in the order firmware,
// protocol, mode, address, each step only where the device differs from the plan. A failing
// device never stops the others. A requested stop starts no further device and no further
// step; the steps under way end.
class CBatchRunner {
public:
    CBatchRunner(const CBatchPlan& plan, COutput& output, CProgressBar* bar,
                 const LinkOptions& link, CRunLog* log);

    std::vector<BatchResult> Run(int jobs);
    // The steps a row asks for, whatever the device holds now.
    static QStringList PlannedSteps(const PlanRow& row);

private:
    BatchResult RunRow(const PlanRow& row);
    void Event(const BatchResult& result, const QString& step, bool ok);
    void Done(const PlanRow& row, const BatchResult& result, const CDeviceJob& job);

    const CBatchPlan& m_plan;
    COutput& m_output;
    CProgressBar* m_bar; // may be null
    LinkOptions m_link;
    CRunLog* m_log; // may be null
};
