#include "fragments.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

PageFragments PageFragments::forOptions(const PageOptions &options)
{
    PageFragments f;
    f.link = {u"<A HREF=\""_s, u"\">"_s, u"</A>"_s, u"<BR>"_s};
    f.frame = {
        // The encoding is declared before anything else, so no browser has to guess it.
        u"<HTML>\r\n<HEAD><META http-equiv=\"Content-Type\" content=\"text/html; charset="_s +
            (options.encoding == PageEncoding::Utf8 ? u"utf-8"_s : u"gbk"_s) + u"\"><TITLE>"_s,
        u"</TITLE></HEAD>\r\n<BODY>\r\n<P align=\"center\">\r\n"
        u"<FONT size=\"6\" color=\"#000080\" face=\"黑体\">"_s,
        u"</FONT></P><HR>"_s,
        u"<HR>\r\n<P align=\"center\">"_s,
        u"</P>\r\n</BODY>\r\n</HTML>"_s,
    };
    f.para = {ParagraphOpen(options.bullet ? Align::Left : options.align), u"</P>"_s};
    if (options.bullet)
        f.bullet = {u"<li>"_s, u" </li>"_s};
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
