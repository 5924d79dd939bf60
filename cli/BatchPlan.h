#pragma once

#include "cli/ExitCode.h"
#include "comm/DeviceSequences.h"

#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

// One row of a plan: a device and what to change on it; an empty column changes nothing.
struct PlanRow {
    int line = 0;
    QString device; // the address as written
    std::array<BYTE, 4> address{};
    SettingsChange network; // new_ip, mask, gateway
    std::optional<int> protocol;
    std::optional<bool> modeDM7;
    QString firmware; // absolute path, empty for none
};

// A batch plan read from CSV (address,new_ip,mask,gateway,protocol,mode,firmware), checked
// as a whole before any device is touched: addresses and values well-formed, no device twice,
// each firmware file read and accepted by the reader (its image is kept for the run). A
// first row whose first cell starts with "address" (any case) is a heading; lines starting
// with '#' and rows without a value are skipped; a cell may stand in double quotes; ';'
// separates the cells when the first row holds ';' and no ','. Relative firmware paths are
// taken from the plan's folder.
class CBatchPlan {
public:
    struct Problem {
        ExitCode exit = ExitCode::Usage;
        QString message;
    };

    static std::optional<CBatchPlan> Read(const QString& path, Problem& problem);

    const std::vector<PlanRow>& Rows() const { return m_rows; }
    const std::vector<BYTE>& Image(const QString& firmware) const;
    // The image bytes all rows together send.
    qint64 FirmwareBytes() const;

private:
    bool ParseRow(const QString& planPath, int line, QStringList cells, Problem& problem);
    bool LoadImage(const PlanRow& row, const QString& planPath, Problem& problem);

    std::vector<PlanRow> m_rows;
    std::map<QString, std::vector<BYTE>> m_images;
};
