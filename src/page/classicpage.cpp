#include "annotations.h"
#include "escape.h"
#include "fragments.h"
#include "pagelayout.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

class Classic final : public PageLayout
{
public:
    Classic(const PageInput &input, const FileTimeFormat &format)
        : options_(input.options), format_(format), f_(PageFragments::forOptions(options_))
    {
    }

    bool headHoldsFolder() const override { return false; }

    void start(PageSink &sink) override
    {
        text_ = f_.pageStart + options_.browserTitle + f_.titleToHeading + options_.headerTitle +
                f_.headingClose + u"\r\n"_s;
        if (!options_.blankLine)
            text_ += f_.paraOpen + u"\r\n"_s;
        sink.append(text_);
    }

    void entry(PageSink &sink, EntryKind, QStringView target, QStringView shown,
               const std::optional<FileFacts> &facts) override
    {
        text_.clear();
        text_ += f_.bulletOpen;
        if (options_.blankLine)
            text_ += f_.paraOpen;
        text_ += f_.linkOpen + target + f_.targetClose;
        AppendLinkText(text_, shown);
        text_ += f_.linkClose;
        AppendAnnotations(text_, shown, facts, options_.showSize, options_.showDate, format_,
                          options_.date);
        if (options_.blankLine)
            text_ += f_.paraClose;
        text_ += f_.lineBreak + f_.bulletClose + u"\r\n"_s;
        sink.append(text_);
    }

    void finish(PageSink &sink) override
    {
        if (options_.blankLine)
            text_ = u"\r\n"_s + f_.footerOpen + options_.footerTitle + f_.pageClose;
        else
            text_ = f_.paraClose + f_.footerOpen + options_.footerTitle + f_.pageClose;
        sink.append(text_);
    }

private:
    const PageOptions &options_;
    const FileTimeFormat &format_;
    const PageFragments f_;
    QString text_; // one line at a time, its capacity kept
};

} // namespace

std::unique_ptr<PageLayout> ClassicLayout(const PageInput &input, const FileTimeFormat &format)
{
    return std::make_unique<Classic>(input, format);
}

} // namespace dirweaver
