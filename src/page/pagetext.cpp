#include "pagetext.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

QString AbridgedView(const QString &page)
{
    if (page.size() < kWholePageLimit)
        return page;
    return page.left(kAbridgedPart) + u"\r\n......"_s.repeated(5) + u"\r\n"_s +
           page.right(kAbridgedPart);
}

void PageText::appendText(QStringView text)
{
    if (head_.size() < kWholePageLimit) {
        head_ += text;
        return;
    }
    // Long now: keep the start as it is and only enough of the end to show.
    tail_ += text;
    if (tail_.size() > 4 * kAbridgedPart)
        tail_.remove(0, tail_.size() - kAbridgedPart);
}

void PageText::entriesWritten(qsizetype done, qsizetype count)
{
    if (!keepBytes_)
        return;
    // A little over what the lines so far promise, and room for the foot.
    const double perLine = double(bytes_.size()) / double(done);
    bytes_.reserve(qsizetype(perLine * double(count) * 1.02) + 4096);
}

QString PageText::view() const
{
    // The start and the kept end read as the page would at both ends, which is all the
    // abridged view takes of it.
    return AbridgedView(tail_.isEmpty() ? head_ : head_ + tail_);
}

} // namespace dirweaver
