// Index pages of an object store, against a real Ceph gateway that tests/s3/gateway.sh starts
// (through a proxy that counts requests and fails those it is told to), and the parts that
// need no gateway: the configuration and the listing's reading.

#include "pagereader.h"
#include "runprogram.h"

#include "selection/bucket.h"
#include "selection/s3client.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <thread>

using namespace dirweaver;
using namespace dirweaver::test;
using namespace Qt::StringLiterals;

namespace {

QByteArray Env(const char *name)
{
    return qgetenv(name);
}

// The names of the hostile tree, each a file of the folder "h/" holding its own key.
const QList<QByteArray> kHostile = {
    "plain.txt",
    "space name.txt",
    "percent%41.txt",
    "plus+sign.txt",
    "hash#frag.txt",
    "question?q=1.txt",
    "amp&amp;lt;.txt",
    "quote\"'.txt",
    "<img src=x onerror=alert(1)>.txt",
    "colon:name.txt",
    "back\\slash.txt",
    "tab\tname.txt",
    "中文名字.txt",
    "emoji\xf0\x9f\x98\x80.txt",
    "-leading-dash",
    QByteArray(200, 'L'),
    "sub dir/inner.txt",
    "中文目录/内.txt",
    "a#b/c?d.txt",
};

} // namespace

class TestBucket : public QObject
{
    Q_OBJECT

private:
    std::optional<S3Client> admin_, viaProxy_;
    QProcess proxy_;
    QByteArray proxyUrl_, gateway_;
    QTemporaryDir home_;

    bool haveGateway() const { return admin_.has_value(); }

    // Writes an object straight to the gateway.
    bool put(const QByteArray &bucket, const QByteArray &key, const QByteArray &body,
             const QList<QByteArray> &headers = {})
    {
        S3Request request{"PUT", bucket, key, {}, headers, body};
        return admin_->send(request).ok();
    }
    QByteArray get(const QByteArray &bucket, const QByteArray &key, long *status = nullptr)
    {
        const S3Response r = admin_->send({"GET", bucket, key, {}, {}, {}});
        if (status)
            *status = r.status;
        return r.body;
    }
    void removeObject(const QByteArray &bucket, const QByteArray &key)
    {
        QVERIFY(admin_->send({"DELETE", bucket, key, {}, {}, {}}).ok());
    }
    // A bucket whose objects anybody may read, as a site's are.
    void makeBucket(const QByteArray &bucket)
    {
        QVERIFY(admin_->send({"PUT", bucket, {}, {}, {}, {}}).ok());
        const QByteArray policy =
            "{\"Version\":\"2012-10-17\",\"Statement\":[{\"Effect\":\"Allow\","
            "\"Principal\":\"*\",\"Action\":\"s3:GetObject\",\"Resource\":"
            "\"arn:aws:s3:::" +
            bucket + "/*\"}]}";
        QVERIFY(admin_->send({"PUT", bucket, {}, {{"policy", {}}}, {}, policy}).ok());
    }
    // The proxy's counts by method since the last look.
    QHash<QByteArray, int> counts()
    {
        QHash<QByteArray, int> by;
        const QByteArray text = viaProxy_->send({"GET", "__proxy", "counts", {}, {}, {}}).body;
        for (const QByteArray &line : text.split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() == 2)
                by.insert(parts[0], parts[1].toInt());
        }
        return by;
    }
    void faults(const QByteArray &method, const QByteArray &kind, int count)
    {
        QVERIFY(viaProxy_
                    ->send({"GET",
                            "__proxy",
                            "faults",
                            {{"method", method}, {kind, QByteArray::number(count)}},
                            {},
                            {}})
                    .ok());
    }
    // The program run through the proxy, with nothing of the machine's own configuration.
    Run run(const QStringList &arguments, const QStringList &set = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &name : env.keys()) {
            if (name.startsWith(u"AWS_"_s))
                env.remove(name);
        }
        env.insert(u"HOME"_s, home_.path());
        env.insert(u"AWS_ENDPOINT_URL"_s, QString::fromLatin1(proxyUrl_));
        env.insert(u"AWS_ACCESS_KEY_ID"_s, QString::fromLatin1(Env("DIRWEAVER_S3_KEY")));
        env.insert(u"AWS_SECRET_ACCESS_KEY"_s, QString::fromLatin1(Env("DIRWEAVER_S3_SECRET")));
        for (const QString &pair : set) {
            const qsizetype equals = pair.indexOf(u'=');
            if (equals < 0)
                env.remove(pair);
            else
                env.insert(pair.left(equals), pair.mid(equals + 1));
        }
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(DIRWEAVER_EXECUTABLE), arguments);
        if (!p.waitForFinished(120000))
            qFatal("the program did not finish");
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                p.readAllStandardOutput(), p.readAllStandardError()};
    }
    // What the page of prefix links, as Chromium resolves its links: the page is opened
    // from the gateway in a frame of a harness page of the same origin.
    QStringList resolvedLinks(const QByteArray &bucket, const QByteArray &pageKey)
    {
        const QByteArray pageUrl = gateway_ + '/' + bucket + '/' + S3Client::Encoded(pageKey, true);
        const QByteArray harness =
            "<!DOCTYPE html><html><head><title></title></head><body><iframe src=\"" + pageUrl +
            "\"></iframe><script>window.onload=()=>{let s=[];"
            "for(const a of document.querySelector('iframe').contentDocument.links)"
            "s.push(a.href);document.title=s.join('\\n');};</script></body></html>";
        if (!put("harness", "h.html", harness, {"Content-Type: text/html"}))
            return {u"cannot put the harness"_s};
        QTemporaryDir profile;
        QProcess p;
        p.start(ChromiumProgram(),
                {u"--headless"_s, u"--no-sandbox"_s, u"--disable-gpu"_s, u"--no-first-run"_s,
                 u"--disable-background-networking"_s, u"--disable-component-update"_s,
                 u"--user-data-dir="_s + profile.path(), u"--dump-dom"_s,
                 QString::fromLatin1(gateway_ + "/harness/h.html")});
        if (!p.waitForFinished(120000) || p.exitCode() != 0)
            return {u"chromium failed"_s};
        return Parse(QString::fromUtf8(p.readAllStandardOutput()))
            .title.split(u'\n', Qt::SkipEmptyParts);
    }
    // Fetches url as a visitor does, with no credential.
    QByteArray fetch(const QString &url, long *status)
    {
        QProcess p;
        p.start(u"curl"_s,
                {u"-s"_s, u"--path-as-is"_s, u"-g"_s, u"-w"_s, u"\n%{http_code}"_s, url});
        p.waitForFinished(60000);
        QByteArray out = p.readAllStandardOutput();
        const qsizetype cut = out.lastIndexOf('\n');
        *status = out.mid(cut + 1).toLong();
        out.truncate(cut);
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(home_.isValid());
        gateway_ = Env("DIRWEAVER_S3_ENDPOINT");
        if (gateway_.isEmpty())
            return; // the tests that need a gateway skip
        S3Config config;
        config.endpoint = gateway_;
        config.accessKey = Env("DIRWEAVER_S3_KEY");
        config.secretKey = Env("DIRWEAVER_S3_SECRET");
        admin_.emplace(config);
        proxy_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proxy_.start(u"python3"_s, {QStringLiteral(DIRWEAVER_TEST_SOURCES "/s3/faultproxy.py"),
                                    QString::fromLatin1(gateway_)});
        QVERIFY(proxy_.waitForReadyRead(20000));
        proxyUrl_ = "http://127.0.0.1:" + proxy_.readLine().trimmed();
        config.endpoint = proxyUrl_;
        viaProxy_.emplace(config);
        makeBucket("harness");
    }
    void cleanupTestCase()
    {
        proxy_.kill();
        proxy_.waitForFinished();
    }

    // The configuration every S3 tool reads, from the variables first, then the files.
    void config_data()
    {
        QTest::addColumn<QStringList>("env");
        QTest::addColumn<QByteArray>("credentials");
        QTest::addColumn<QByteArray>("configFile");
        QTest::addColumn<QString>("expected"); // endpoint|region|key|token|path, or "!" error
        const QByteArray twoProfiles = "[default]\naws_access_key_id = DK\n"
                                       "aws_secret_access_key = DS\n"
                                       "[work]\naws_access_key_id=WK\naws_secret_access_key=WS\n"
                                       "aws_session_token = WT\n";
        QTest::newRow("variables")
            << QStringList{u"AWS_ACCESS_KEY_ID=K"_s, u"AWS_SECRET_ACCESS_KEY=S"_s,
                           u"AWS_ENDPOINT_URL=http://h:1/"_s, u"AWS_REGION=eu-west-3"_s}
            << QByteArray() << QByteArray() << u"http://h:1|eu-west-3|K||path"_s;
        QTest::newRow("aws itself")
            << QStringList{u"AWS_ACCESS_KEY_ID=K"_s, u"AWS_SECRET_ACCESS_KEY=S"_s} << QByteArray()
            << QByteArray("[default]\nregion = ap-east-1\n")
            << u"https://s3.ap-east-1.amazonaws.com|ap-east-1|K||virtual"_s;
        QTest::newRow("default profile") << QStringList() << twoProfiles << QByteArray()
                                         << u"https://s3.us-east-1.amazonaws.com|us-east-1|DK||"
                                            u"virtual"_s;
        QTest::newRow("named profile, config file's endpoint and style")
            << QStringList{u"AWS_PROFILE=work"_s} << twoProfiles
            << QByteArray("[profile work]\nendpoint_url = https://s3.example.org\ns3 =\n"
                          "  addressing_style = path\n")
            << u"https://s3.example.org|us-east-1|WK|WT|path"_s;
        QTest::newRow("variables over files")
            << QStringList{u"AWS_ACCESS_KEY_ID=K"_s, u"AWS_SECRET_ACCESS_KEY=S"_s} << twoProfiles
            << QByteArray() << u"https://s3.us-east-1.amazonaws.com|us-east-1|K||virtual"_s;
        QTest::newRow("no credential")
            << QStringList() << QByteArray() << QByteArray() << u"!no credential"_s;
        QTest::newRow("half a credential") << QStringList{u"AWS_ACCESS_KEY_ID=K"_s} << QByteArray()
                                           << QByteArray() << u"!no credential"_s;
        QTest::newRow("endpoint without scheme")
            << QStringList{u"AWS_ACCESS_KEY_ID=K"_s, u"AWS_SECRET_ACCESS_KEY=S"_s,
                           u"AWS_ENDPOINT_URL=minio:9000"_s}
            << QByteArray() << QByteArray() << u"!should start with https://"_s;
        QTest::newRow("attempts not a number")
            << QStringList{u"AWS_ACCESS_KEY_ID=K"_s, u"AWS_SECRET_ACCESS_KEY=S"_s,
                           u"AWS_MAX_ATTEMPTS=many"_s}
            << QByteArray() << QByteArray() << u"!AWS_MAX_ATTEMPTS"_s;
    }
    void config()
    {
        QFETCH(QStringList, env);
        QFETCH(QByteArray, credentials);
        QFETCH(QByteArray, configFile);
        QFETCH(QString, expected);
        QTemporaryDir home;
        QVERIFY(QDir(home.path()).mkdir(u".aws"_s));
        const auto write = [&](const QString &name, const QByteArray &text) {
            QFile file(home.path() + u"/.aws/"_s + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
        };
        write(u"credentials"_s, credentials);
        write(u"config"_s, configFile);
        const auto lookup = [&env](const char *name) {
            const QString prefix = QString::fromLatin1(name) + u'=';
            for (const QString &pair : env) {
                if (pair.startsWith(prefix))
                    return pair.mid(prefix.size()).toUtf8();
            }
            return QByteArray();
        };
        const auto read = ReadS3Config(lookup, QFile::encodeName(home.path()));
        if (expected.startsWith(u'!')) {
            QVERIFY(std::holds_alternative<QString>(read));
            QVERIFY2(std::get<QString>(read).contains(expected.mid(1)),
                     qPrintable(std::get<QString>(read)));
            return;
        }
        QVERIFY2(std::holds_alternative<S3Config>(read),
                 qPrintable(std::get_if<QString>(&read) ? *std::get_if<QString>(&read) : u""_s));
        const S3Config &c = std::get<S3Config>(read);
        QCOMPARE(QString::fromUtf8(c.endpoint + '|' + c.region + '|' + c.accessKey + '|' +
                                   c.sessionToken + '|' + (c.pathStyle ? "path" : "virtual")),
                 expected);
    }

    // Where a request goes: the bucket in the path except on AWS itself, keys encoded once.
    void addresses_data()
    {
        QTest::addColumn<QByteArray>("endpoint");
        QTest::addColumn<bool>("pathStyle");
        QTest::addColumn<QByteArray>("bucket");
        QTest::addColumn<QByteArray>("url");
        QTest::newRow("path style")
            << QByteArray("http://127.0.0.1:7480") << true << QByteArray("pages")
            << QByteArray("http://127.0.0.1:7480/pages/a%20b/%23c%3F%2B/");
        QTest::newRow("virtual host")
            << QByteArray("https://s3.eu-west-3.amazonaws.com") << false << QByteArray("pages")
            << QByteArray("https://pages.s3.eu-west-3.amazonaws.com/a%20b/%23c%3F%2B/");
        QTest::newRow("a bucket with dots stays in the path")
            << QByteArray("https://s3.eu-west-3.amazonaws.com") << false << QByteArray("a.b")
            << QByteArray("https://s3.eu-west-3.amazonaws.com/a.b/a%20b/%23c%3F%2B/");
    }
    void addresses()
    {
        QFETCH(QByteArray, endpoint);
        QFETCH(bool, pathStyle);
        QFETCH(QByteArray, bucket);
        QFETCH(QByteArray, url);
        S3Config config;
        config.endpoint = endpoint;
        config.pathStyle = pathStyle;
        QCOMPARE(S3Client(config).objectUrl(bucket, "a b/#c?+/"), url);
    }

    // Keys come back byte for byte, however the store encodes them, over answers in pages.
    void listing_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QByteArray>("expected"); // keys and prefixes, then the next token
        const QByteArray head = "<?xml version=\"1.0\"?><ListBucketResult xmlns=\"http://s3."
                                "amazonaws.com/doc/2006-03-01/\">";
        const QByteArray one = "<Contents><Key>%1</Key><LastModified>2026-01-02T03:04:05.678Z"
                               "</LastModified><ETag>&quot;x&quot;</ETag><Size>5</Size>"
                               "</Contents>";
        const auto contents = [&](const char *key) { return QByteArray(one).replace("%1", key); };
        QTest::newRow("url-encoded, + and space kept apart")
            << head + "<EncodingType>url</EncodingType>" + contents("p%2Fa%2Bb%20c") +
                   "<CommonPrefixes><Prefix>p%2Fsub%2F</Prefix></CommonPrefixes>"
                   "<IsTruncated>false</IsTruncated></ListBucketResult>"
            << QByteArray("p/a+b c|p/sub/|");
        QTest::newRow("not UTF-8, encoding told last")
            << head + contents("%FF%FEx") + "<EncodingType>url</EncodingType></ListBucketResult>"
            << QByteArray("\xff\xfex|");
        QTest::newRow("plain keys with entities")
            << head + contents("a&amp;b&lt;c") + "</ListBucketResult>" << QByteArray("a&b<c|");
        QTest::newRow("truncated") << head + contents("k") +
                                          "<IsTruncated>true</IsTruncated><NextContinuationToken>"
                                          "T+/=</NextContinuationToken></ListBucketResult>"
                                   << QByteArray("k|T+/=");
        QTest::newRow("an error, not a listing")
            << QByteArray("<Error><Code>AccessDenied</Code></Error>") << QByteArray("!");
        QTest::newRow("cut short") << head + "<Contents><Key>k</Key>" << QByteArray("!");
    }
    void listing()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QByteArray, expected);
        const std::optional<ObjectListingPage> page = ParseObjectListing(xml);
        if (expected == "!") {
            QVERIFY(!page);
            return;
        }
        QVERIFY(page);
        QByteArray got;
        for (const StoredObject &o : page->objects) {
            got += o.key + '|';
            QCOMPARE(o.size, 5);
            QCOMPARE(*o.modified, 1767323045);
            QCOMPARE(o.modifiedNanos, 678000000);
        }
        for (const QByteArray &p : page->prefixes)
            got += p + '|';
        QCOMPARE(got + (page->truncated ? page->nextToken : QByteArray()), expected);
    }

    // Every link of every page, as a browser resolves it on the gateway, opens exactly its
    // object; a second run over the unchanged bucket lists and sends nothing else.
    void hostileNames()
    {
        if (!haveGateway())
            QSKIP("no gateway: run through tests/s3/gateway.sh");
        makeBucket("hostile");
        for (const QByteArray &name : kHostile)
            QVERIFY2(put("hostile", "h/" + name, "h/" + name), name.constData());
        QVERIFY(put("hostile", "top.txt", "top.txt"));
        const Run first = run({u"--tree"_s, u"s3://hostile"_s});
        QVERIFY2(first.status == 0, first.err.constData());
        QVERIFY(first.err.contains("the modified date is shown"));
        // Pages of the top, h/ and its three sub-folders.
        QCOMPARE(counts().value("PUT"), 5);

        const QList<QByteArray> pages = {"index.html", "h/index.html", "h/sub dir/index.html",
                                         "h/中文目录/index.html", "h/a#b/index.html"};
        QSet<QByteArray> opened;
        for (const QByteArray &page : pages) {
            long status = 0;
            get("hostile", page, &status);
            QCOMPARE(status, 200);
            const QStringList links = resolvedLinks("hostile", page);
            QVERIFY2(!links.isEmpty(), page.constData());
            for (const QString &link : links) {
                const QByteArray body = fetch(link, &status);
                QVERIFY2(status == 200, qPrintable(QString::fromUtf8(page) + u" links "_s + link));
                if (!link.endsWith(u"/index.html"_s))
                    opened.insert(body);
            }
        }
        QSet<QByteArray> expected{"top.txt"};
        for (const QByteArray &name : kHostile)
            expected.insert("h/" + name);
        QCOMPARE(opened, expected);

        const Run second = run({u"--tree"_s, u"s3://hostile"_s});
        QCOMPARE(second.status, 0);
        const QHash<QByteArray, int> by = counts();
        QCOMPARE(by.value("PUT"), 0);
        QCOMPARE(by.value("HEAD"), 0);
        QCOMPARE(by.value("DELETE"), 0);
        QCOMPARE(by.value("GET"), pages.size()); // one listing a prefix
    }

    // What a run does to what it finds at a page's key, and with keys it cannot link.
    void refusals_data()
    {
        QTest::addColumn<QByteArray>("bucket");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("env");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("said");
        QTest::addColumn<QByteArray>("pageThere"); // f/index.html afterwards
        const QStringList tree{u"--tree"_s, u"s3://%1"_s};
        QTest::newRow("another's object at a page's key")
            << QByteArray("foreign") << tree << QStringList() << 1
            << QByteArray("--force replaces it") << QByteArray("mine");
        QTest::newRow("replaced with --force")
            << QByteArray("forced") << tree + QStringList{u"--force"_s} << QStringList() << 0
            << QByteArray("2 pages written") << QByteArray("<HTML>");
        QTest::newRow("a key no page can link")
            << QByteArray("unlinkable") << tree << QStringList() << 1
            << QByteArray("s3://unlinkable/f//") << QByteArray("<HTML>");
        QTest::newRow("expired credential")
            << QByteArray("expired") << tree << QStringList{u"FAULT=expired"_s} << 2
            << QByteArray("Key has expired") << QByteArray();
        QTest::newRow("no such bucket") << QByteArray("nosuch") << tree << QStringList() << 2
                                        << QByteArray("No such file") << QByteArray();
        QTest::newRow("no credential")
            << QByteArray("nocredential") << tree << QStringList{u"AWS_ACCESS_KEY_ID"_s} << 2
            << QByteArray("no credential") << QByteArray();
        QTest::newRow("--checksum")
            << QByteArray("sums") << tree + QStringList{u"--checksum"_s} << QStringList() << 2
            << QByteArray("--checksum") << QByteArray();
    }
    void refusals()
    {
        if (!haveGateway())
            QSKIP("no gateway: run through tests/s3/gateway.sh");
        QFETCH(QByteArray, bucket);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, env);
        QFETCH(int, status);
        QFETCH(QByteArray, said);
        QFETCH(QByteArray, pageThere);
        if (bucket != "nosuch") {
            makeBucket(bucket);
            QVERIFY(put(bucket, "f/x.txt", "x"));
        }
        if (bucket == "foreign" || bucket == "forced")
            QVERIFY(put(bucket, "f/index.html", "mine"));
        if (bucket == "unlinkable")
            QVERIFY(put(bucket, "f//empty.txt", "e"));
        if (env.removeAll(u"FAULT=expired"_s) > 0)
            faults({}, "expired", 100);
        for (QString &argument : arguments)
            argument.replace(u"%1"_s, QString::fromLatin1(bucket));
        const Run r = run(arguments, env);
        faults({}, "expired", 0);
        QVERIFY2(r.status == status, r.err.constData());
        QVERIFY2(r.err.contains(said), r.err.constData());
        QVERIFY2(r.err.count('\n') <= 3, r.err.constData());
        if (!pageThere.isEmpty())
            QVERIFY(get(bucket, "f/index.html").startsWith(pageThere));
    }

    // Pages of folders no longer indexed go (only the program's), and nobody links them.
    void stalePages()
    {
        if (!haveGateway())
            QSKIP("no gateway: run through tests/s3/gateway.sh");
        makeBucket("stale");
        for (const char *key :
             {"keep/a.txt", "gone/b.txt", "gone/deeper/c.txt", "hide/d.txt", "hide/under/e.txt"})
            QVERIFY(put("stale", key, key));
        QCOMPARE(run({u"--tree"_s, u"s3://stale"_s}).status, 0);
        removeObject("stale", "gone/b.txt");
        removeObject("stale", "gone/deeper/c.txt");
        QVERIFY(put("stale", "hide/.noindex", {}));
        counts();
        const Run r = run({u"--tree"_s, u"s3://stale"_s});
        QVERIFY2(r.status == 0, r.err.constData());
        QVERIFY2(r.err.contains("4 removed"), r.err.constData());
        QCOMPARE(counts().value("DELETE"), 4);
        for (const char *page : {"gone/index.html", "gone/deeper/index.html", "hide/index.html",
                                 "hide/under/index.html"}) {
            long status = 0;
            get("stale", page, &status);
            QCOMPARE(status, 404);
        }
        const QByteArray top = get("stale", "index.html");
        QVERIFY(top.contains("keep/index.html"));
        QVERIFY(!top.contains("gone/") && !top.contains("hide/"));
    }

    // Throttling and dropped connections are tried again: the pages come out whole.
    void survives_data()
    {
        QTest::addColumn<QByteArray>("bucket");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("fault");
        QTest::addColumn<int>("count");
        QTest::newRow("listings throttled")
            << QByteArray("throttled-get") << QByteArray("GET") << QByteArray("slowdown") << 3;
        QTest::newRow("pages throttled")
            << QByteArray("throttled-put") << QByteArray("PUT") << QByteArray("slowdown") << 2;
        QTest::newRow("listing connection dropped")
            << QByteArray("dropped-get") << QByteArray("GET") << QByteArray("drop") << 2;
        QTest::newRow("page connection dropped")
            << QByteArray("dropped-put") << QByteArray("PUT") << QByteArray("drop") << 1;
    }
    void survives()
    {
        if (!haveGateway())
            QSKIP("no gateway: run through tests/s3/gateway.sh");
        QFETCH(QByteArray, bucket);
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, fault);
        QFETCH(int, count);
        makeBucket(bucket);
        for (const char *key : {"a.txt", "x/b.txt", "x/y/c.txt", "z/d.txt"})
            QVERIFY(put(bucket, key, key));
        faults(method, fault, count);
        const Run r = run({u"--tree"_s, u"s3://"_s + QString::fromLatin1(bucket)});
        QVERIFY2(r.status == 0, r.err.constData());
        QVERIFY2(r.err.contains("4 pages written"), r.err.constData());
        // Whole pages: a run without faults finds each as it would write it.
        const Run again = run({u"--tree"_s, u"s3://"_s + QString::fromLatin1(bucket)});
        QVERIFY2(again.err.contains("0 pages written, 4 unchanged"), again.err.constData());
    }

    // A catalogue of a bucket's prefix links the objects where the store serves them.
    void catalogue()
    {
        if (!haveGateway())
            QSKIP("no gateway: run through tests/s3/gateway.sh");
        makeBucket("catalogued");
        for (const char *key : {"p/a b/c#d.txt", "p/e.txt"})
            QVERIFY(put("catalogued", key, key));
        QTemporaryDir out;
        const QString file = out.path() + u"/all.htm"_s;
        const Run r = run({u"--catalog"_s, file, u"s3://catalogued/p"_s});
        QVERIFY2(r.status == 0, r.err.constData());
        QVERIFY2(r.err.contains("2 folders, 2 files"), r.err.constData());
        QFile page(file);
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QByteArray target = proxyUrl_ + "/catalogued/p/\ts3://catalogued/p";
        QVERIFY(page.readAll().contains(target));
        const Run one = run({u"--write"_s, u"-"_s, u"s3://catalogued/p"_s});
        QVERIFY2(one.status == 0, one.err.constData());
        QVERIFY(one.out.contains(">e.txt</A>"));
    }

    // A prefix of more keys than one answer holds is read over several, each key once.
    void manyKeys()
    {
        if (!haveGateway())
            QSKIP("no gateway: run through tests/s3/gateway.sh");
        makeBucket("many");
        constexpr int kKeys = 2001;
        std::vector<std::thread> threads;
        std::atomic<int> failed{0};
        for (int t = 0; t < 16; ++t) {
            threads.emplace_back([&, t] {
                for (int i = t; i < kKeys; i += 16)
                    failed += !put("many", "m/" + QByteArray::number(i) + ".txt", "k");
            });
        }
        for (std::thread &t : threads)
            t.join();
        QCOMPARE(failed.load(), 0);
        counts();
        const Run r = run({u"--tree"_s, u"s3://many/m"_s, u"--style"_s, u"json"_s});
        QVERIFY2(r.status == 0, r.err.constData());
        QVERIFY2(r.err.contains("2001 files listed"), r.err.constData());
        QCOMPARE(counts().value("GET"), 3);
        long status = 0;
        const QByteArray page = get("many", "m/index.json", &status);
        QCOMPARE(status, 200);
        QCOMPARE(page.count("\"kind\":\"file\""), kKeys);
    }
};

QTEST_GUILESS_MAIN(TestBucket)
#include "tst_bucket.moc"
