#include "filter.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

const std::array<TypeBox, kTypeBoxCount> &TypeBoxes()
{
    static constexpr std::array<TypeBox, kTypeBoxCount> boxes{{
        {u"Check2", u"*.zip", u"*.zip"},
        {u"Check3", u"*.exe", u"*.exe"},
        {u"Check4", u"*.htm", u"*.htm"},
        {u"Check5", u"*.txt", u"*.txt"},
        {u"Check6", u"*.caj", u"*.caj"},
        {u"Check7", u"*.doc", u"*.doc"},
        {u"Check9", u"*.xls", u"*.xls"},
        {u"Check10", u"*.dat", u"*.dat"},
        {u"Check11", u"*.tif", u"*.tif"},
        {u"Check12", u"*.ico", u"*.ico"},
        {u"Check13", u"*.gif", u"*.gif"},
        {u"Check14", u"*.jpg", u"*.jpg"},
        {u"Check15", u"*.bmp", u"*.bmp"},
        {u"Check16", u"*.pdf", u"*.pdf"},
        {u"Check17", u"多媒体文件",
         u"*.ram;*.mp3;*.mp4;*.wav;*.avi;*.mid;*.wma;*.swf;*.rm;*.wmv;*.asf;*.aif;*.sgi;*.mov;"
         u"*.vqf"},
        {u"Check18", u"Office文件", u"*.doc;*.xls;*.ppt;*.mdb;*.wps;*.vsd;*.htm;*.html"},
        {u"Check19", u"常见设计文件",
         u"*.c;*.bas;*.vbs;*.vbp;*.pal;*.hex;*.jed;*.frm;*.lib;*.ini;*.pcb;*.sch;*.ddb;*.prj;"
         u"*.dwg;*.pcd;*.pdg;*.ctl;*.net"},
    }};
    return boxes;
}

QString ApplyFileFilter(const FilterBoxes &boxes)
{
    if (boxes.all)
        return kAllFilesPattern.toString();
    QString pattern;
    for (std::size_t i = 0; i < kTypeBoxCount; ++i) {
        if (!boxes.types[i])
            continue;
        if (!pattern.isEmpty())
            pattern += u';';
        pattern += TypeBoxes()[i].masks;
    }
    return pattern.isEmpty() ? u"*.zzz"_s : pattern;
}

namespace {

// Wildcard match of a whole name; both sides already case-folded.
bool wildcardMatch(QStringView mask, QStringView name)
{
    qsizetype m = 0, n = 0;
    qsizetype star = -1, resume = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == u'?' || mask[m] == name[n])) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == u'*') {
            star = m++;
            resume = n;
        } else if (star >= 0) {
            m = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*')
        ++m;
    return m == mask.size();
}

} // namespace

FileMask::FileMask(QStringView pattern)
{
    for (const QStringView mask : pattern.split(u';')) {
        if (mask == kAllFilesPattern || mask == u"*")
            all_ = true;
        else if (!mask.isEmpty())
            masks_.append(mask.toString().toCaseFolded());
    }
    masks_.removeDuplicates();
}

bool FileMask::matches(QStringView name) const
{
    if (all_)
        return true;
    const QString folded = name.toString().toCaseFolded();
    for (const QString &mask : masks_) {
        if (wildcardMatch(mask, folded))
            return true;
    }
    return false;
}

} // namespace dirweaver
