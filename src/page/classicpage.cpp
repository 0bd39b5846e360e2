#include "annotations.h"
#include "escape.h"
#include "format.h"
#include "fragments.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

// The design's page: its fragments around one line per entry.
class Classic final : public PageWriter
{
public:
    Classic(const PageModel &model, const FileTimeFormat &dates, PageSink &sink)
        : options_(model.options), dates_(dates), f_(PageFragments::forOptions(options_)),
          folderTarget_(FolderTarget(model)), out_(sink, options_.encoding)
    {
    }

    void start() override
    {
        text_ = f_.pageStart + options_.browserTitle + f_.titleToHeading + options_.headerTitle +
                f_.headingClose + u"\r\n"_s;
        if (!options_.blankLine)
            text_ += f_.paraOpen + u"\r\n"_s;
        out_.write(text_);
    }

    void entry(const PageEntry &entry) override
    {
        text_.clear();
        text_ += f_.bulletOpen;
        if (options_.blankLine)
            text_ += f_.paraOpen;
        text_ += f_.linkOpen;
        AppendEntryTarget(text_, folderTarget_, entry, options_.encoding);
        text_ += f_.targetClose;
        const QStringView shown =
            entry.kind == EntryKind::Parent ? dates_.words().parent : QStringView(entry.shown);
        AppendLinkText(text_, shown);
        text_ += f_.linkClose;
        AppendAnnotations(text_, shown, entry.facts, options_.showSize, options_.showDate, dates_,
                          options_.date);
        // The sum's first sixteen digits, the whole in the tooltip.
        if (options_.checksum && entry.facts && !entry.facts->sha256.isEmpty()) {
            const QString hex = QString::fromLatin1(entry.facts->sha256.toHex());
            text_ += u"&nbsp;&nbsp;&nbsp;<SPAN title=\"SHA-256 "_s + hex + u"\">"_s +
                     QStringView(hex).left(16) + u"…</SPAN>"_s;
        }
        if (options_.blankLine)
            text_ += f_.paraClose;
        text_ += f_.lineBreak + f_.bulletClose + u"\r\n"_s;
        out_.write(text_);
    }

    void finish(const PageTotals &) override
    {
        if (options_.blankLine)
            text_ = u"\r\n"_s + f_.footerOpen + options_.footerTitle + f_.pageClose;
        else
            text_ = f_.paraClose + f_.footerOpen + options_.footerTitle + f_.pageClose;
        out_.write(text_);
    }

private:
    const PageOptions &options_;
    const FileTimeFormat &dates_;
    const PageFragments f_;
    const QString folderTarget_;
    TextWriter out_;
    QString text_; // one line at a time, its capacity kept
};

std::unique_ptr<PageWriter> classicWriter(const PageModel &model, const FileTimeFormat &dates,
                                          PageSink &sink)
{
    return std::make_unique<Classic>(model, dates, sink);
}

} // namespace

const PageFormat &ClassicFormat()
{
    static const PageFormat format{"classic",     ".htm",        "\r\n", PageEncoding::Gbk,
                                   kTreePageMark, classicWriter, false};
    return format;
}

} // namespace dirweaver
