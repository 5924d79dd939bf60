#include "cli/BatchPlan.h"

#include "cli/AddressRange.h"
#include "cli/DeviceFields.h"
#include "cli/DeviceOutcome.h"
#include "cli/Output.h"
#include "firmware/SRecordReader.h"
#include "platform/Ipv4Address.h"
#include "res/CliTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

using namespace res;

namespace {
constexpr qint64 kMaxPlanBytes = 1024 * 1024;
constexpr qsizetype kMaxPlanRows = 4096;
constexpr int kColumns = 7;
enum Column { Address, NewIp, Mask, Gateway, Protocol, Mode, Firmware };

const QLatin1String kStandardInput("-");
const QLatin1String kDescriptorFolder("/dev/fd/");

// "-" is standard input; "/dev/fd/N" names a descriptor the shell opened for the program
// (process substitution gives a pipe there).
std::optional<int> StreamDescriptor(const QString& path) {
    if (path == kStandardInput)
        return 0;
    if (!path.startsWith(kDescriptorFolder))
        return std::nullopt;
    bool number = false;
    const int descriptor = path.mid(kDescriptorFolder.size()).toInt(&number);
    return number && descriptor >= 0 ? std::optional<int>(descriptor) : std::nullopt;
}

bool OpenPlan(const QString& path, QFile& file) {
    if (const std::optional<int> descriptor = StreamDescriptor(path))
        return file.open(*descriptor, QIODevice::ReadOnly, QFileDevice::DontCloseHandle);
    file.setFileName(path);
    return file.open(QIODevice::ReadOnly);
}

// One byte more than a plan may hold, at most: a larger plan shows as one, and a stream that
// does not end costs no more than that.
std::optional<QByteArray> ReadBounded(QFile& file) {
    QByteArray contents;
    while (contents.size() <= kMaxPlanBytes) {
        const QByteArray chunk = file.read(kMaxPlanBytes + 1 - contents.size());
        if (chunk.isEmpty())
            return file.error() == QFileDevice::NoError ? std::optional(contents) : std::nullopt;
        contents += chunk;
    }
    return contents;
}

// The plan's bytes. A path that is neither a stream nor a regular file is refused unopened:
// a FIFO's open would wait for a writer for good.
std::optional<QByteArray> PlanContents(const QString& path, CBatchPlan::Problem& problem) {
    const QFileInfo info(path);
    if (!StreamDescriptor(path) && info.exists() && !info.isFile()) {
        problem.Add(ExitCode::Usage, 0, QString(cli::PlanNotAFileFormat).arg(path));
        return std::nullopt;
    }
    QFile file;
    std::optional<QByteArray> contents = OpenPlan(path, file) ? ReadBounded(file) : std::nullopt;
    if (!contents)
        problem.Add(ExitCode::Usage, 0, QString(cli::PlanUnreadableFormat).arg(path));
    return contents;
}

// Lines end in LF, CR LF, or CR alone as older Mac programs save them.
QStringList Lines(const QByteArray& contents) {
    QString text = QString::fromUtf8(contents);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text.split(QLatin1Char('\n'));
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

QString Dotted(const std::array<BYTE, 4>& address) {
    return Ipv4Address(address).ToString();
}
} // namespace

void CBatchPlan::Problem::Add(ExitCode why, int line, const QString& text) {
    if (exit != ExitCode::Usage)
        exit = why;
    ++count;
    m_told.emplace_back(line, text);
}

// The messages carry the plan's own text (cells, its name): escaped here, in one place.
std::optional<CBatchPlan> CBatchPlan::Read(const QString& path, Problem& problem) {
    std::optional<CBatchPlan> plan = ReadPlan(path, problem);
    if (plan)
        return plan;
    std::stable_sort(problem.m_told.begin(), problem.m_told.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [line, text] : problem.m_told) {
        if (problem.messages.size() == Problem::kMaxProblems)
            break;
        problem.messages << COutput::Printable(text);
    }
    if (problem.count > Problem::kMaxProblems)
        problem.messages
            << QString(cli::PlanMoreProblemsFormat).arg(problem.count - Problem::kMaxProblems);
    problem.message = problem.messages.join(QLatin1Char('\n'));
    return std::nullopt;
}

std::optional<CBatchPlan> CBatchPlan::ReadPlan(const QString& path, Problem& problem) {
    const std::optional<QByteArray> contents = PlanContents(path, problem);
    if (!contents)
        return std::nullopt;
    CBatchPlan plan;
    const bool stream = StreamDescriptor(path).has_value();
    plan.m_name = path == kStandardInput ? QString(cli::PlanStandardInput) : path;
    plan.m_folder = stream ? QDir(QDir::currentPath()) : QFileInfo(path).absoluteDir();
    const QStringList lines = Lines(*contents);
    if (contents->size() > kMaxPlanBytes || lines.size() > kMaxPlanRows) {
        problem.Add(ExitCode::Usage, 0, plan.RowProblem(0, QString(cli::PlanTooLarge)));
        return std::nullopt;
    }
    plan.ParseLines(lines, problem);
    for (const PlanRow& row : plan.m_rows) {
        if (!row.firmware.isEmpty())
            plan.LoadImage(row, problem);
    }
    if (problem.count > 0)
        return std::nullopt;
    return plan;
}

// A row in error is told and left out, so that the rows after it are checked too.
void CBatchPlan::ParseLines(const QStringList& lines, Problem& problem) {
    const QChar separator = SeparatorOf(lines);
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList cells = Cells(lines[i], separator);
        // A spreadsheet saves an empty row as separators only.
        if (cells.join(QString()).isEmpty() || cells[0].startsWith(QLatin1Char('#')))
            continue;
        if (m_rows.empty() && cells[0].startsWith(QLatin1String("address"), Qt::CaseInsensitive))
            continue; // the heading
        ParseRow(i + 1, cells, problem);
    }
    if (m_rows.empty() && problem.count == 0)
        problem.Add(ExitCode::Usage, 0, RowProblem(0, QString(cli::PlanEmpty)));
}

bool CBatchPlan::ParseRow(int line, QStringList cells, Problem& problem) {
    const auto fail = [&](const QString& what) {
        problem.Add(ExitCode::Usage, line, RowProblem(line, what));
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
        row.firmware = QFileInfo(m_folder, cells[Firmware]).absoluteFilePath();
    if (const QString clash = ClashWithEarlierRows(row); !clash.isEmpty())
        return fail(clash);
    m_rows.push_back(row);
    return true;
}

// Rows run at the same time: two devices given one new address, or one moved onto another's
// address, would answer for each other. A row may keep its own address.
QString CBatchPlan::ClashWithEarlierRows(const PlanRow& row) const {
    for (const PlanRow& other : m_rows) {
        if (other.address == row.address)
            return QString(cli::PlanDuplicateFormat).arg(row.device);
        if (row.network.ip && row.network.ip == other.network.ip)
            return QString(cli::PlanNewAddressTwiceFormat)
                .arg(Dotted(*row.network.ip))
                .arg(other.line);
        if (row.network.ip == other.address)
            return QString(cli::PlanNewAddressIsDeviceFormat)
                .arg(Dotted(*row.network.ip))
                .arg(other.line);
        if (other.network.ip == row.address)
            return QString(cli::PlanDeviceIsNewAddressFormat).arg(row.device).arg(other.line);
    }
    return {};
}

QString CBatchPlan::RowProblem(int line, const QString& what) const {
    return QString(cli::PlanRowFormat).arg(m_name).arg(line).arg(what);
}

// Each file is read once, however many rows name it; a refused file refuses the plan.
void CBatchPlan::LoadImage(const PlanRow& row, Problem& problem) {
    if (m_images.count(row.firmware) != 0 || m_refused.count(row.firmware) != 0)
        return;
    Outcome read;
    CSRecordReader reader{};
    int length = 0;
    std::optional<std::vector<BYTE>> image = LoadFirmwareImage(reader, row.firmware, length, read);
    if (!image) {
        // "Unable to read firmware file: FILE line N: reason"
        const DeviceOutcome refused = DeviceOutcome::From(read);
        const QString why = (refused.messages + refused.DetailLines()).join(QStringLiteral(": "));
        problem.Add(ExitCode::FileRefused, row.line, RowProblem(row.line, why));
        m_refused.insert(row.firmware);
        return;
    }
    m_images.emplace(row.firmware, std::move(*image));
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
