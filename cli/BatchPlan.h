#pragma once

#include "cli/ExitCode.h"
#include "comm/DeviceSequences.h"

#include <QDir>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <set>
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
// no new address given twice or taken by another row's device, each firmware file read and
// accepted by the reader (its image is kept for the run). A first row whose first cell starts
// with "address" (any case) is a heading; lines starting with '#' and rows without a value
// are skipped; a cell may stand in double quotes; ';' separates the cells when the first row
// holds ';' and no ','; lines end in LF, CR LF or CR.
//
// PLAN is a regular file, or a stream: "-" (standard input) or "/dev/fd/N" (a descriptor the
// shell opened, e.g. by process substitution). Anything else that is not a regular file is
// refused unopened (a FIFO's open would wait for a writer for good). Relative firmware paths
// are taken from a plan file's folder, and from the current folder for a stream. Messages
// show the plan's control characters escaped.
class CBatchPlan {
public:
    // Everything wrong with a plan, up to kMaxProblems messages (and how many more there
    // were): one run shows every row to mend. A malformed row outweighs a refused file.
    struct Problem {
        static constexpr int kMaxProblems = 20;
        ExitCode exit = ExitCode::Success;
        QStringList messages; // in line order, escaped for a terminal
        int count = 0;
        QString message; // the messages as lines

        void Add(ExitCode why, int line, const QString& text);

    private:
        friend class CBatchPlan;
        std::vector<std::pair<int, QString>> m_told;
    };

    static std::optional<CBatchPlan> Read(const QString& path, Problem& problem);

    const std::vector<PlanRow>& Rows() const { return m_rows; }
    const std::vector<BYTE>& Image(const QString& firmware) const;
    // The image bytes all rows together send.
    qint64 FirmwareBytes() const;

private:
    static std::optional<CBatchPlan> ReadPlan(const QString& path, Problem& problem);
    void ParseLines(const QStringList& lines, Problem& problem);
    bool ParseRow(int line, QStringList cells, Problem& problem);
    // The first clash of the row's device or new address with an earlier row's, or empty.
    QString ClashWithEarlierRows(const PlanRow& row) const;
    void LoadImage(const PlanRow& row, Problem& problem);
    QString RowProblem(int line, const QString& what) const;

    QString m_name; // the plan as messages name it
    QDir m_folder;  // where relative firmware paths start
    std::vector<PlanRow> m_rows;
    std::map<QString, std::vector<BYTE>> m_images;
    std::set<QString> m_refused; // files told once
};
