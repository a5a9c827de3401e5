// Read access to a compiled HTML help file (.chm) through CHMLib.
#pragma once

#include <memory>
#include <optional>

#include <QByteArray>
#include <QString>
#include <QStringList>

struct chmFile;

namespace qb {

class ChmFile {
public:
    // nullptr if the file cannot be opened as a compiled help file.
    static std::unique_ptr<ChmFile> open(const QString& fileName);
    ~ChmFile();
    ChmFile(const ChmFile&) = delete;
    ChmFile& operator=(const ChmFile&) = delete;

    // The object at `path` ("/index.html"; a missing leading slash is added; case-insensitive), or nothing.
    std::optional<QByteArray> read(const QString& path) const;
    // Every ordinary file stored, as absolute paths ("/index.html").
    QStringList files() const;

    // From the file's system header; empty when it names none.
    QString title() const { return title_; }
    QString contentsFile() const { return contentsFile_; }  // e.g. "/toc.hhc"
    QString defaultTopic() const { return defaultTopic_; }  // e.g. "/index.html"

private:
    explicit ChmFile(::chmFile* handle);
    void readSystemHeader();

    ::chmFile* handle_;
    QString title_;
    QString contentsFile_;
    QString defaultTopic_;
};

// "index.html", "./a/../index.html#top" -> "/index.html": the object path a link inside the help file names.
QString NormaliseChmPath(const QString& path);

}  // namespace qb
