#include "fragments.h"

#include "format.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

PageFragments PageFragments::forOptions(const PageOptions &options)
{
    PageFragments f;
    // The encoding is declared before anything else, so no browser has to guess it.
    f.pageStart =
        u"<HTML>\r\n<HEAD><META http-equiv=\"Content-Type\" content=\"text/html; charset="_s +
        (options.encoding == PageEncoding::Utf8 ? u"utf-8"_s : u"gbk"_s) + u"\">"_s +
        (options.treeMark ? QString::fromLatin1(kTreePageMark) : QString()) + u"<TITLE>"_s;
    f.titleToHeading = u"</TITLE></HEAD>\r\n<BODY>\r\n<P align=\"center\">\r\n"
                       u"<FONT size=\"6\" color=\"#000080\" face=\"黑体\">"_s;
    f.headingClose = u"</FONT></P><HR>"_s;
    f.footerOpen = u"<HR>\r\n<P align=\"center\">"_s;
    f.pageClose = u"</P>\r\n</BODY>\r\n</HTML>"_s;
    f.linkOpen = u"<A HREF=\""_s;
    f.targetClose = u"\">"_s;
    f.linkClose = u"</A>"_s;
    f.lineBreak = u"<BR>"_s;
    f.paraOpen = ParagraphOpen(options.lineAlign());
    f.paraClose = u"</P>"_s;
    if (options.bullet) {
        f.bulletOpen = u"<li>"_s;
        f.bulletClose = u" </li>"_s;
    }
    return f;
}

QString ParagraphOpen(Align align)
{
    switch (align) {
    case Align::Center:
        return u"<P align=\"center\">"_s;
    case Align::Right:
        return u"<P align=\"right\">"_s;
    case Align::Left:
        break;
    }
    return u"<P align=\"left\">"_s;
}

} // namespace dirweaver
