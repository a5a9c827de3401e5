#include "gui/help/ChmFile.h"

#include <chm_lib.h>

#include <QDir>
#include <QFile>

namespace qb {

namespace {

// Help pages are small; anything larger is a damaged or hostile file, not something to load whole.
constexpr LONGUINT64 kMaxObjectSize = 32u * 1024u * 1024u;

// #SYSTEM record codes.
constexpr unsigned kSystemContentsFile = 0;
constexpr unsigned kSystemDefaultTopic = 2;
constexpr unsigned kSystemTitle = 3;

int collectFile(chmFile*, chmUnitInfo* ui, void* context) {
    auto* list = static_cast<QStringList*>(context);
    if ((ui->flags & CHM_ENUMERATE_FILES) && (ui->flags & CHM_ENUMERATE_NORMAL))
        list->append(QString::fromUtf8(ui->path));
    return CHM_ENUMERATOR_CONTINUE;
}

// A zero-terminated string within a #SYSTEM record, bounded by the record.
QString recordText(const QByteArray& data, qsizetype offset, qsizetype length) {
    QByteArray bytes = data.mid(offset, length);
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0) bytes.truncate(zero);
    return QString::fromLocal8Bit(bytes);
}

}  // namespace

QString NormaliseChmPath(const QString& path) {
    QString p = path;
    const qsizetype hash = p.indexOf(QLatin1Char('#'));
    if (hash >= 0) p.truncate(hash);
    const qsizetype query = p.indexOf(QLatin1Char('?'));
    if (query >= 0) p.truncate(query);
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!p.startsWith(QLatin1Char('/'))) p.prepend(QLatin1Char('/'));
    p = QDir::cleanPath(p);
    // cleanPath keeps a leading "/.." — a link may not climb out of the archive's root.
    while (p.startsWith(QLatin1String("/../"))) p.remove(0, 3);
    if (p == QLatin1String("/..")) p = QStringLiteral("/");
    return p;
}

std::unique_ptr<ChmFile> ChmFile::open(const QString& fileName) {
    ::chmFile* handle = chm_open(QFile::encodeName(fileName).constData());
    if (!handle) return nullptr;
    std::unique_ptr<ChmFile> file(new ChmFile(handle));
    file->readSystemHeader();
    return file;
}

ChmFile::ChmFile(::chmFile* handle) : handle_(handle) {}

ChmFile::~ChmFile() {
    chm_close(handle_);
}

std::optional<QByteArray> ChmFile::read(const QString& path) const {
    const QByteArray name = NormaliseChmPath(path).toUtf8();
    if (name.size() > CHM_MAX_PATHLEN) return std::nullopt;
    chmUnitInfo ui{};
    if (chm_resolve_object(handle_, name.constData(), &ui) != CHM_RESOLVE_SUCCESS) return std::nullopt;
    if (ui.length > kMaxObjectSize) return std::nullopt;
    QByteArray data(static_cast<qsizetype>(ui.length), Qt::Uninitialized);
    if (ui.length == 0) return data;
    const LONGINT64 got = chm_retrieve_object(handle_, &ui, reinterpret_cast<unsigned char*>(data.data()), 0,
                                              static_cast<LONGINT64>(ui.length));
    if (got != static_cast<LONGINT64>(ui.length)) return std::nullopt;
    return data;
}

QStringList ChmFile::files() const {
    QStringList list;
    chm_enumerate(handle_, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, collectFile, &list);
    return list;
}

void ChmFile::readSystemHeader() {
    // #SYSTEM: a 32-bit version, then records of a 16-bit code, a 16-bit length and that many bytes.
    chmUnitInfo ui{};
    if (chm_resolve_object(handle_, "/#SYSTEM", &ui) != CHM_RESOLVE_SUCCESS || ui.length > kMaxObjectSize) return;
    QByteArray data(static_cast<qsizetype>(ui.length), Qt::Uninitialized);
    if (chm_retrieve_object(handle_, &ui, reinterpret_cast<unsigned char*>(data.data()), 0,
                            static_cast<LONGINT64>(ui.length)) != static_cast<LONGINT64>(ui.length))
        return;
    auto u16 = [&data](qsizetype at) {
        return static_cast<unsigned>(static_cast<unsigned char>(data[at])) |
               static_cast<unsigned>(static_cast<unsigned char>(data[at + 1])) << 8;
    };
    qsizetype pos = 4;
    while (pos + 4 <= data.size()) {
        const unsigned code = u16(pos);
        const qsizetype length = u16(pos + 2);
        pos += 4;
        if (pos + length > data.size()) break;
        if (code == kSystemContentsFile)
            contentsFile_ = NormaliseChmPath(recordText(data, pos, length));
        else if (code == kSystemDefaultTopic)
            defaultTopic_ = NormaliseChmPath(recordText(data, pos, length));
        else if (code == kSystemTitle)
            title_ = recordText(data, pos, length);
        pos += length;
    }
    if (contentsFile_ == QLatin1String("/")) contentsFile_.clear();
    if (defaultTopic_ == QLatin1String("/")) defaultTopic_.clear();
}

}  // namespace qb
