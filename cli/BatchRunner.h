#pragma once

#include "cli/BatchPlan.h"
#include "cli/DeviceOutcome.h"

#include <QString>
#include <QStringList>

#include <vector>

class COutput;
class CProgressBar;

// How one device of a batch ended: the steps that went through, where it is reached now,
// and the outcome of the step that failed.
struct BatchResult {
    QString device;
    QString address;
    QStringList steps;
    DeviceOutcome outcome;
};

// Runs a checked plan: devices concurrently, each device's steps in the order firmware,
// protocol, mode, address, each step only where the device differs from the plan. A failing
// device never stops the others.
class CBatchRunner {
public:
    CBatchRunner(const CBatchPlan& plan, COutput& output, CProgressBar* bar);

    std::vector<BatchResult> Run(int jobs);
    // The steps a row asks for, whatever the device holds now.
    static QStringList PlannedSteps(const PlanRow& row);

private:
    BatchResult RunRow(const PlanRow& row);
    void Event(const BatchResult& result, const QString& step, bool ok);

    const CBatchPlan& m_plan;
    COutput& m_output;
    CProgressBar* m_bar; // may be null
};
