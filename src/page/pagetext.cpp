#include "pagetext.h"

#include "progress.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

void PageText::append(QStringView text)
{
    AppendPageBytes(bytes_, text, encoding_);
    size_ += text.size();
    if (head_.size() < kWholePageLimit) {
        head_ += text;
        return;
    }
    // Long now: keep the start as it is and only enough of the end to show.
    tail_ += text;
    if (tail_.size() > 4 * kAbridgedPart)
        tail_.remove(0, tail_.size() - kAbridgedPart);
}

QString PageText::view() const
{
    if (size_ < kWholePageLimit)
        return head_;
    const QString whole = head_ + tail_;
    return head_.left(kAbridgedPart) + u"\r\n......"_s.repeated(5) + u"\r\n"_s +
           whole.right(kAbridgedPart);
}

} // namespace dirweaver
