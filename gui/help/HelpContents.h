// The contents tree of a compiled help file, read from its sitemap (.hhc) page.
#pragma once

#include <vector>

#include <QString>

namespace qb {

struct ContentsEntry {
    QString name;   // the title shown in the tree
    QString local;  // the page inside the help file, e.g. "device.html#write"; may be empty for a heading
    std::vector<ContentsEntry> children;
};

// Reads the <OBJECT type="text/sitemap"> entries of a sitemap page, nested as its <UL> lists nest them. Tolerates
// the loose HTML that help compilers accept: any letter case, unclosed <LI>, unbalanced lists.
std::vector<ContentsEntry> ParseSitemap(const QString& html);

}  // namespace qb
