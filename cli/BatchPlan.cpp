#include "cli/BatchPlan.h"

#include "cli/AddressRange.h"
#include "cli/DeviceFields.h"
#include "cli/DeviceOutcome.h"
#include "firmware/SRecordReader.h"
#include "res/CliTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace res;

namespace {
constexpr qint64 kMaxPlanBytes = 1024 * 1024;
constexpr std::size_t kMaxPlanRows = 4096;
constexpr int kColumns = 7;
enum Column { Address, NewIp, Mask, Gateway, Protocol, Mode, Firmware };

QString RowProblem(const QString& planPath, int line, const QString& what) {
    return QString(cli::PlanRowFormat).arg(planPath).arg(line).arg(what);
}

// Spreadsheets in many languages save ';' between cells: a plan whose first row holds ';'
// and no ',' is read with ';'.
QChar SeparatorOf(const QStringList& lines) {
    for (const QString& line : lines) {
        const QString text = line.trimmed();
        if (text.isEmpty() || text.startsWith(QLatin1Char('#')))
            continue;
        const bool semicolons = text.contains(u';') && !text.contains(u',');
        return semicolons ? QLatin1Char(';') : QLatin1Char(',');
    }
    return QLatin1Char(',');
}

// Spreadsheets may save every cell in double quotes; fields hold no separators, so a cell's
// surrounding quotes are all the quoting a plan can have.
QStringList Cells(const QString& text, QChar separator) {
    QStringList cells = text.split(separator);
    for (QString& cell : cells) {
        cell = cell.trimmed();
        if (cell.size() >= 2 && cell.startsWith(QLatin1Char('"')) &&
            cell.endsWith(QLatin1Char('"')))
            cell = cell.mid(1, cell.size() - 2).trimmed();
    }
    return cells;
}
} // namespace

std::optional<CBatchPlan> CBatchPlan::Read(const QString& path, Problem& problem) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = {ExitCode::Usage, QString(cli::PlanUnreadableFormat).arg(path)};
        return std::nullopt;
    }
    const QByteArray contents = file.read(kMaxPlanBytes + 1);
    CBatchPlan plan;
    const QStringList lines = QString::fromUtf8(contents).split(QLatin1Char('\n'));
    if (contents.size() > kMaxPlanBytes || static_cast<std::size_t>(lines.size()) > kMaxPlanRows) {
        problem = {ExitCode::Usage, RowProblem(path, 0, QString(cli::PlanTooLarge))};
        return std::nullopt;
    }
    const QChar separator = SeparatorOf(lines);
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList cells = Cells(lines[i], separator);
        // A spreadsheet saves an empty row as separators only.
        if (cells.join(QString()).isEmpty() || cells[0].startsWith(QLatin1Char('#')))
            continue;
        if (plan.m_rows.empty() &&
            cells[0].startsWith(QLatin1String("address"), Qt::CaseInsensitive))
            continue; // the heading
        if (!plan.ParseRow(path, i + 1, cells, problem))
            return std::nullopt;
    }
    if (plan.m_rows.empty()) {
        problem = {ExitCode::Usage, RowProblem(path, 0, QString(cli::PlanEmpty))};
        return std::nullopt;
    }
    for (const PlanRow& row : plan.m_rows) {
        if (!row.firmware.isEmpty() && !plan.LoadImage(row, path, problem))
            return std::nullopt;
    }
    return plan;
}

bool CBatchPlan::ParseRow(const QString& planPath, int line, QStringList cells, Problem& problem) {
    const auto fail = [&](const QString& what) {
        problem = {ExitCode::Usage, RowProblem(planPath, line, what)};
        return false;
    };
    if (cells.size() > kColumns)
        return fail(QString(cli::PlanColumnCount));
    cells.resize(kColumns);
    PlanRow row;
    row.line = line;
    row.device = cells[Address];
    const auto address = CAddressRange::ParseAddress(cells[Address]);
    if (!address)
        return fail(QString(cli::BadAddressFormat).arg(cells[Address]));
    row.address = *address;
    for (const PlanRow& other : m_rows) {
        if (other.address == row.address)
            return fail(QString(cli::PlanDuplicateFormat).arg(row.device));
    }
    const std::array<std::optional<std::array<BYTE, 4>>*, 3> network{
        &row.network.ip, &row.network.subnetMask, &row.network.gateway};
    for (int column = NewIp; column <= Gateway; ++column) {
        const QString& cell = cells[column];
        if (cell.isEmpty())
            continue;
        *network[static_cast<std::size_t>(column - NewIp)] = CAddressRange::ParseAddress(cell);
        if (!*network[static_cast<std::size_t>(column - NewIp)])
            return fail(QString(cli::BadAddressFormat).arg(cell));
    }
    if (!cells[Protocol].isEmpty() &&
        !(row.protocol = CDeviceFields::ProtocolFromName(cells[Protocol])))
        return fail(QString(cli::BadProtocolFormat).arg(cells[Protocol]));
    if (!cells[Mode].isEmpty() && !(row.modeDM7 = CDeviceFields::ModeFromName(cells[Mode])))
        return fail(QString(cli::BadModeFormat).arg(cells[Mode]));
    if (!cells[Firmware].isEmpty())
        row.firmware = QFileInfo(QFileInfo(planPath).dir(), cells[Firmware]).absoluteFilePath();
    m_rows.push_back(row);
    return true;
}

// Each file is read once, however many rows name it; a refused file refuses the plan.
bool CBatchPlan::LoadImage(const PlanRow& row, const QString& planPath, Problem& problem) {
    if (m_images.count(row.firmware) != 0)
        return true;
    Outcome read;
    CSRecordReader reader{};
    int length = 0;
    std::optional<std::vector<BYTE>> image = LoadFirmwareImage(reader, row.firmware, length, read);
    if (!image) {
        // "Unable to read firmware file: FILE line N: reason"
        const DeviceOutcome refused = DeviceOutcome::From(read);
        const QString why = (refused.messages + refused.DetailLines()).join(QStringLiteral(": "));
        problem = {ExitCode::FileRefused, RowProblem(planPath, row.line, why)};
        return false;
    }
    m_images.emplace(row.firmware, std::move(*image));
    return true;
}

const std::vector<BYTE>& CBatchPlan::Image(const QString& firmware) const {
    return m_images.at(firmware);
}

qint64 CBatchPlan::FirmwareBytes() const {
    qint64 total = 0;
    for (const PlanRow& row : m_rows) {
        if (!row.firmware.isEmpty())
            total += static_cast<qint64>(Image(row.firmware).size());
    }
    return total;
}
