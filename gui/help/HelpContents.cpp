#include "gui/help/HelpContents.h"

#include <QRegularExpression>

namespace qb {

namespace {

// Decodes the few entities a sitemap value can hold.
QString decodeEntities(QString text) {
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&quot;"), QLatin1String("\""));
    text.replace(QLatin1String("&#39;"), QLatin1String("'"));
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return text;
}

}  // namespace

std::vector<ContentsEntry> ParseSitemap(const QString& html) {
    static const QRegularExpression token(
        QStringLiteral(R"(<\s*(/?)\s*(ul)\b[^>]*>|<\s*object\b([^>]*)>(.*?)<\s*/\s*object\s*>)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression sitemapType(QStringLiteral(R"(type\s*=\s*["']?text/sitemap)"),
                                                QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression param(
        QStringLiteral(R"(<\s*param\s+name\s*=\s*["']([^"']*)["']\s+value\s*=\s*["']([^"']*)["'])"),
        QRegularExpression::CaseInsensitiveOption);

    std::vector<ContentsEntry> root;
    // The lists being filled, outermost first. A <UL> opens the children of the entry read last.
    std::vector<std::vector<ContentsEntry>*> lists{&root};
    std::vector<ContentsEntry>* lastParentList = nullptr;
    bool seenFirstList = false;

    auto it = token.globalMatch(html);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (!m.captured(2).isEmpty()) {
            const bool closing = !m.captured(1).isEmpty();
            if (closing) {
                if (lists.size() > 1) lists.pop_back();
                lastParentList = nullptr;
            } else if (!seenFirstList) {
                seenFirstList = true;  // the outermost list is the root itself
            } else if (lastParentList && !lastParentList->empty()) {
                lists.push_back(&lastParentList->back().children);
                lastParentList = nullptr;
            } else {
                // A list with no entry before it: keep its entries at the current level.
                lists.push_back(lists.back());
            }
            continue;
        }
        if (!sitemapType.match(m.captured(3)).hasMatch()) continue;
        ContentsEntry entry;
        auto params = param.globalMatch(m.captured(4));
        while (params.hasNext()) {
            const QRegularExpressionMatch p = params.next();
            const QString key = p.captured(1).toLower();
            if (key == QLatin1String("name") && entry.name.isEmpty())
                entry.name = decodeEntities(p.captured(2));
            else if (key == QLatin1String("local") && entry.local.isEmpty())
                entry.local = decodeEntities(p.captured(2));
        }
        if (entry.name.isEmpty() && entry.local.isEmpty()) continue;
        lists.back()->push_back(std::move(entry));
        lastParentList = lists.back();
    }
    return root;
}

}  // namespace qb
