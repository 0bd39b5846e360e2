#include "pagereader.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QUrl>

#include <fcntl.h>
#include <gumbo.h>
#include <iconv.h>
#include <unistd.h>

namespace dirweaver::test {

using namespace Qt::StringLiterals;

namespace {

// UTF-8 read as it is: QString::fromUtf8 would drop a byte order mark that starts a name.
QString utf8(const char *text)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(text));
}

QString TextOf(const GumboNode *node, int *elements)
{
    if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE)
        return utf8(node->v.text.text);
    if (node->type != GUMBO_NODE_ELEMENT)
        return {};
    ++*elements;
    QString text;
    const GumboVector &children = node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i)
        text += TextOf(static_cast<const GumboNode *>(children.data[i]), elements);
    return text;
}

void Walk(const GumboNode *node, int depth, ParsedPage &page)
{
    if (node->type != GUMBO_NODE_ELEMENT) {
        if (node->type == GUMBO_NODE_COMMENT)
            page.shape.append(u"%1 comment"_s.arg(depth));
        return;
    }
    const GumboElement &e = node->v.element;
    const GumboVector &attributes = e.attributes;
    if (e.tag == GUMBO_TAG_A) {
        Link link;
        link.attributes = int(attributes.length);
        for (unsigned i = 0; i < attributes.length; ++i) {
            const auto *a = static_cast<const GumboAttribute *>(attributes.data[i]);
            if (qstrcmp(a->name, "href") == 0)
                link.href = utf8(a->value);
        }
        int elements = -1; // the anchor itself
        link.text = TextOf(node, &elements);
        link.elementChildren = elements;
        page.links.append(link);
        page.shape.append(u"%1 a"_s.arg(depth));
        return;
    }
    if (e.tag == GUMBO_TAG_BASE) {
        for (unsigned i = 0; i < attributes.length; ++i) {
            const auto *a = static_cast<const GumboAttribute *>(attributes.data[i]);
            if (qstrcmp(a->name, "href") == 0)
                page.base = utf8(a->value);
        }
    }
    if (e.tag == GUMBO_TAG_TITLE) {
        int elements = 0;
        page.title = TextOf(node, &elements);
    }
    QString line = u"%1 %2"_s.arg(depth).arg(QString::fromUtf8(gumbo_normalized_tagname(e.tag)));
    for (unsigned i = 0; i < attributes.length; ++i) {
        const auto *a = static_cast<const GumboAttribute *>(attributes.data[i]);
        line += u" %1=%2"_s.arg(QString::fromUtf8(a->name), QString::fromUtf8(a->value));
    }
    page.shape.append(line);
    for (unsigned i = 0; i < e.children.length; ++i)
        Walk(static_cast<const GumboNode *>(e.children.data[i]), depth + 1, page);
}

} // namespace

QString FromGbk(const QByteArray &bytes)
{
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == iconv_t(-1))
        qFatal("iconv has no GBK");
    QByteArray out(bytes.size() * 3 + 16, '\0');
    char *in = const_cast<char *>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char *o = out.data();
    size_t outLeft = size_t(out.size());
    const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (r == size_t(-1))
        return u"<not GBK at byte %1>"_s.arg(bytes.size() - qsizetype(inLeft));
    out.truncate(out.size() - qsizetype(outLeft));
    return QString::fromUtf8(out);
}

ParsedPage Parse(const QString &html)
{
    const QByteArray utf8 = html.toUtf8();
    GumboOutput *output =
        gumbo_parse_with_options(&kGumboDefaultOptions, utf8.constData(), size_t(utf8.size()));
    ParsedPage page;
    Walk(output->root, 0, page);
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return page;
}

QByteArray ResolvedPath(const QByteArray &folder, const QString &href, QString *why,
                        const QString &base)
{
    // Browsers drop these from a target before reading it; the page must not rely on that.
    static const QRegularExpression stripped(u"^[\\x00-\\x20]|[\\x00-\\x20]$|[\\t\\n\\r]"_s);
    for (const QString &target : {href, base}) {
        if (target.contains(stripped)) {
            *why = u"target has characters a browser strips: "_s + target;
            return {};
        }
    }
    QUrl page(u"file://"_s + QString::fromLatin1(folder.toPercentEncoding("/")), QUrl::StrictMode);
    if (!base.isEmpty())
        page = page.resolved(QUrl(base, QUrl::TolerantMode));
    const QUrl url = page.resolved(QUrl(href, QUrl::TolerantMode));
    if (url.scheme() != u"file"_s || !url.host().isEmpty()) {
        *why = u"target leaves the file system: "_s + url.toString();
        return {};
    }
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
}

QString ChromiumProgram()
{
    return QStandardPaths::findExecutable(u"chromium"_s);
}

namespace {

QByteArray fileUrl(const QByteArray &path)
{
    return "file://" + path.toPercentEncoding("/");
}

QString runChromium(const QByteArray &path, const QStringList &extra, QString *why)
{
    QTemporaryDir profile;
    QProcess p;
    p.setProgram(ChromiumProgram());
    // Without the networking switches the closed network refuses its background connections.
    QStringList arguments = {u"--headless"_s,
                             u"--no-sandbox"_s,
                             u"--disable-gpu"_s,
                             u"--disable-quic"_s,
                             u"--no-first-run"_s,
                             u"--disable-background-networking"_s,
                             u"--disable-component-update"_s,
                             u"--disable-sync"_s};
    arguments << extra << u"--user-data-dir="_s + profile.path() << u"--dump-dom"_s
              << QString::fromLatin1(fileUrl(path));
    p.setArguments(arguments);
    p.start();
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        *why = u"chromium failed: "_s + QString::fromLocal8Bit(p.readAllStandardError());
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

QString ChromiumDom(const QByteArray &path, const QString &lang, QString *why,
                    const QStringList &extra)
{
    return runChromium(path, QStringList{u"--lang="_s + lang} + extra, why);
}

QList<QList<QByteArray>> ChromiumResolvedLinks(const QList<QByteArray> &pages, QString *why)
{
    QByteArray harness = "<!DOCTYPE html><html><head><title></title></head><body>";
    for (const QByteArray &page : pages)
        harness += "<iframe src=\"" + fileUrl(page) + "\"></iframe>";
    harness += "<script>window.onload=()=>{let s='';"
               "document.querySelectorAll('iframe').forEach((f,i)=>{"
               "for(const a of f.contentDocument.links)s+=i+'\\t'+a.href+'\\n';});"
               "document.title=s;};</script></body></html>";
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.path()) + "/harness.htm";
    if (!WriteBytes(path, harness)) {
        *why = u"cannot write the harness page"_s;
        return {};
    }
    // Frames of file pages are other origins unless file access is shared.
    const QString dom = runChromium(path, {u"--allow-file-access-from-files"_s}, why);
    QList<QList<QByteArray>> links(pages.size());
    for (const QString &line : Parse(dom).title.split(u'\n')) {
        const int tab = line.indexOf(u'\t');
        const int frame = line.left(tab).toInt();
        if (tab > 0 && frame < links.size())
            links[frame].append(QByteArray::fromPercentEncoding(
                QUrl(line.mid(tab + 1)).path(QUrl::FullyEncoded).toLatin1()));
    }
    return links;
}

QString ChromiumScript(const QByteArray &path, const QString &script, QString *why, int waitMs)
{
    const QByteArray harness =
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title></title></head><body>"
        "<iframe style=\"width:1000px;height:1500px\" src=\"" +
        fileUrl(path) +
        "\"></iframe><script>"
        "window.onload=()=>setTimeout(()=>{try{"
        "const d=document.querySelector('iframe').contentDocument;"
        "document.title=(function(d){" +
        script.toUtf8() +
        "})(d);}"
        "catch(e){document.title='script failed: '+e;}}," +
        QByteArray::number(waitMs) + ");</script></body></html>";
    QTemporaryDir dir;
    const QByteArray harnessPath = QFile::encodeName(dir.path()) + "/harness.htm";
    if (!WriteBytes(harnessPath, harness)) {
        *why = u"cannot write the harness page"_s;
        return {};
    }
    // Virtual time lets the page's own timers run before the script, however busy the machine.
    QStringList extra{u"--allow-file-access-from-files"_s};
    if (waitMs > 0)
        extra << u"--virtual-time-budget="_s + QString::number(waitMs * 4);
    const QString dom = runChromium(harnessPath, extra, why);
    return why->isEmpty() ? Parse(dom).title : QString();
}

bool WriteBytes(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && written;
}

} // namespace dirweaver::test
