#include "s3client.h"

#include <QCryptographicHash>
#include <QFile>
#include <QXmlStreamReader>

#include <curl/curl.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <random>
#include <thread>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

// One profile's entries of an AWS configuration file; a nested block ("s3 =" and the
// indented lines under it) as "s3.name".
using Profile = QHash<QByteArray, QByteArray>;

Profile ReadProfile(const QByteArray &path, const QByteArray &section)
{
    Profile profile;
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly))
        return profile;
    bool inside = false;
    QByteArray nested;
    while (!file.atEnd()) {
        const QByteArray raw = file.readLine();
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith(';'))
            continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            inside = line.mid(1, line.size() - 2).simplified() == section;
            nested.clear();
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inside || equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed().toLower();
        const QByteArray value = line.mid(equals + 1).trimmed();
        const bool indented = raw.startsWith(' ') || raw.startsWith('\t');
        if (!indented)
            nested = value.isEmpty() ? key : QByteArray();
        if (indented && !nested.isEmpty())
            profile.insert(nested + '.' + key, value);
        else if (!value.isEmpty())
            profile.insert(key, value);
    }
    return profile;
}

// A random wait before the next try, between half and all of a ceiling that doubles each
// try, up to 20 s, so that many threads throttled at once do not come back at once.
std::chrono::milliseconds Backoff(int attempt, bool throttled)
{
    const qint64 base = throttled ? 500 : 100;
    const qint64 ceiling = std::min<qint64>(20000, base << std::min(attempt, 10));
    thread_local std::mt19937 random{std::random_device{}()};
    return std::chrono::milliseconds(
        std::uniform_int_distribution<qint64>(ceiling / 2, ceiling)(random));
}

// The curl handle of this thread, whose connection the next request reuses.
CURL *ThreadHandle()
{
    struct Handle
    {
        CURL *curl = curl_easy_init();
        ~Handle() { curl_easy_cleanup(curl); }
    };
    thread_local Handle handle;
    if (handle.curl)
        curl_easy_reset(handle.curl);
    return handle.curl;
}

size_t KeepBody(char *data, size_t size, size_t count, void *to)
{
    static_cast<QByteArray *>(to)->append(data, qsizetype(size * count));
    return size * count;
}

size_t KeepHeader(char *data, size_t size, size_t count, void *to)
{
    const QByteArrayView line(data, qsizetype(size * count));
    const qsizetype colon = line.indexOf(':');
    if (colon > 0) {
        static_cast<QHash<QByteArray, QByteArray> *>(to)->insert(
            line.first(colon).toByteArray().trimmed().toLower(),
            line.sliced(colon + 1).toByteArray().trimmed());
    }
    return size * count;
}

// The code and message of an S3 error body.
std::pair<QByteArray, QString> ErrorOf(const QByteArray &body)
{
    QXmlStreamReader xml(body);
    QByteArray code;
    QString message;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == "Code"_L1)
            code = xml.readElementText().toUtf8();
        else if (xml.name() == "Message"_L1)
            message = xml.readElementText();
    }
    return {code, message};
}

int ErrnoOf(const S3Response &r)
{
    if (r.code == "ExpiredToken" || r.code == "TokenRefreshRequired")
        return EKEYEXPIRED;
    if (r.code == "InvalidAccessKeyId" || r.code == "SignatureDoesNotMatch" ||
        r.code == "InvalidToken")
        return EKEYREJECTED;
    if (r.status == 503 || r.status == 429 || r.code == "SlowDown")
        return EAGAIN;
    if (r.status == 404 || r.code == "NoSuchBucket" || r.code == "NoSuchKey")
        return ENOENT;
    if (r.status == 403)
        return EACCES;
    return EIO;
}

constexpr QByteArrayView kMethods[] = {"GET", "PUT", "HEAD", "DELETE"};

int MethodIndex(QByteArrayView method)
{
    for (int i = 0; i < 3; ++i) {
        if (method == kMethods[i])
            return i;
    }
    return 3;
}

} // namespace

qint64 S3Client::sent(QByteArrayView method) const
{
    return sent_[MethodIndex(method)].load();
}

std::variant<S3Config, QString> ReadS3Config(const std::function<QByteArray(const char *)> &env,
                                             const QByteArray &home)
{
    const auto either = [&](const char *name, const char *otherName) {
        const QByteArray value = env(name);
        return value.isEmpty() ? env(otherName) : value;
    };
    QByteArray profileName = either("AWS_PROFILE", "AWS_DEFAULT_PROFILE");
    if (profileName.isEmpty())
        profileName = "default";
    QByteArray configPath = env("AWS_CONFIG_FILE");
    if (configPath.isEmpty())
        configPath = home + "/.aws/config";
    QByteArray credentialsPath = env("AWS_SHARED_CREDENTIALS_FILE");
    if (credentialsPath.isEmpty())
        credentialsPath = home + "/.aws/credentials";
    const Profile config =
        ReadProfile(configPath, profileName == "default" ? profileName : "profile " + profileName);
    const Profile credentials = ReadProfile(credentialsPath, profileName);

    S3Config c;
    c.accessKey = env("AWS_ACCESS_KEY_ID");
    c.secretKey = env("AWS_SECRET_ACCESS_KEY");
    c.sessionToken = env("AWS_SESSION_TOKEN");
    if (c.accessKey.isEmpty() || c.secretKey.isEmpty()) {
        // The files' pair goes together, the credentials file's first.
        const Profile &from = credentials.contains("aws_access_key_id") ? credentials : config;
        c.accessKey = from.value("aws_access_key_id");
        c.secretKey = from.value("aws_secret_access_key");
        c.sessionToken = from.value("aws_session_token");
    }
    if (c.accessKey.isEmpty() || c.secretKey.isEmpty()) {
        return u"没有找到对象存储的凭证（AWS_ACCESS_KEY_ID 与 AWS_SECRET_ACCESS_KEY，或 "
               u"~/.aws/credentials 的 %1）/ no credential for the object store "
               u"(AWS_ACCESS_KEY_ID and AWS_SECRET_ACCESS_KEY, or profile %1 of "
               u"~/.aws/credentials)"_s.arg(QString::fromUtf8(profileName));
    }
    c.region = either("AWS_REGION", "AWS_DEFAULT_REGION");
    if (c.region.isEmpty())
        c.region = config.value("region", "us-east-1");
    c.endpoint = either("AWS_ENDPOINT_URL_S3", "AWS_ENDPOINT_URL");
    if (c.endpoint.isEmpty())
        c.endpoint = config.value("s3.endpoint_url", config.value("endpoint_url"));
    const bool aws = c.endpoint.isEmpty();
    if (aws)
        c.endpoint = "https://s3." + c.region + ".amazonaws.com";
    while (c.endpoint.endsWith('/'))
        c.endpoint.chop(1);
    if (!c.endpoint.startsWith("https://") && !c.endpoint.startsWith("http://")) {
        return u"对象存储的地址应以 https:// 或 http:// 开头 / the object store's address "
               u"should start with https:// or http://: %1"_s.arg(QString::fromUtf8(c.endpoint));
    }
    const QByteArray style = config.value("s3.addressing_style");
    c.pathStyle = style == "path" || (style != "virtual" && !aws);
    c.caBundle = env("AWS_CA_BUNDLE");
    if (c.caBundle.isEmpty())
        c.caBundle = config.value("ca_bundle");
    QByteArray attempts = env("AWS_MAX_ATTEMPTS");
    if (attempts.isEmpty())
        attempts = config.value("max_attempts");
    if (!attempts.isEmpty()) {
        bool number = false;
        c.maxAttempts = attempts.toInt(&number);
        if (!number || c.maxAttempts < 1 || c.maxAttempts > 100)
            return u"AWS_MAX_ATTEMPTS 应为 1 到 100 / should be 1 to 100: %1"_s.arg(
                QString::fromUtf8(attempts));
    }
    return c;
}

S3Client::S3Client(S3Config config) : config_(std::move(config))
{
    // Not thread-safe itself: once, before any thread makes a handle.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

QByteArray S3Client::Encoded(QByteArrayView raw, bool keepSlashes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(raw.size() * 3);
    for (const char c : raw) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
            u == '-' || u == '.' || u == '_' || u == '~' || (keepSlashes && u == '/')) {
            out.append(c);
        } else {
            out.append('%').append(kHex[u >> 4]).append(kHex[u & 15]);
        }
    }
    return out;
}

QByteArray S3Client::urlOf(const S3Request &request) const
{
    QByteArray url;
    if (config_.pathStyle || request.bucket.contains('.')) {
        url = config_.endpoint + '/' + Encoded(request.bucket, false) + '/';
    } else {
        const qsizetype scheme = config_.endpoint.indexOf("://") + 3;
        url = config_.endpoint.left(scheme) + request.bucket + '.' + config_.endpoint.mid(scheme) +
              '/';
    }
    url += Encoded(request.key, true);
    // The signature reads the query as it stands: already encoded and in order.
    auto query = request.query;
    std::sort(query.begin(), query.end());
    for (qsizetype i = 0; i < query.size(); ++i) {
        url += i == 0 ? '?' : '&';
        url += Encoded(query[i].first, false) + '=' + Encoded(query[i].second, false);
    }
    return url;
}

S3Response S3Client::once(const S3Request &request) const
{
    S3Response response;
    CURL *curl = ThreadHandle();
    if (!curl) {
        response.error = QString::fromUtf8(curl_easy_strerror(CURLE_OUT_OF_MEMORY));
        response.errnoValue = ENOMEM;
        return response;
    }
    const QByteArray url = urlOf(request);
    const QByteArray sigv4 = "aws:amz:" + config_.region + ":s3";
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    // A key's "." and ".." are names, not steps up.
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(curl, CURLOPT_AWS_SIGV4, sigv4.constData());
    curl_easy_setopt(curl, CURLOPT_USERNAME, config_.accessKey.constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, config_.secretKey.constData());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
    // A connection that carries nothing for 30 s is given up (and tried again).
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 30L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    if (!config_.caBundle.isEmpty() && config_.endpoint.startsWith("https:"))
        curl_easy_setopt(curl, CURLOPT_CAINFO, config_.caBundle.constData());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, KeepBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, KeepHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &response.headers);

    curl_slist *headers = nullptr;
    const auto add = [&headers](const QByteArray &line) {
        headers = curl_slist_append(headers, line.constData());
    };
    // The store wants the body's hash named; curl then signs it with the rest.
    add("x-amz-content-sha256: " +
        (request.method == "PUT"
             ? QCryptographicHash::hash(request.body, QCryptographicHash::Sha256).toHex()
             : QByteArray("UNSIGNED-PAYLOAD")));
    if (!config_.sessionToken.isEmpty())
        add("x-amz-security-token: " + config_.sessionToken);
    for (const QByteArray &header : request.headers)
        add(header);
    if (request.method == "PUT") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "PUT");
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.constData());
    } else if (request.method == "HEAD") {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else if (request.method != "GET") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.constData());
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    ++sent_[MethodIndex(request.method)];
    const CURLcode result = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    if (result != CURLE_OK) {
        response.headers.clear();
        response.body.clear();
        response.error = QString::fromUtf8(curl_easy_strerror(result));
        response.errnoValue = result == CURLE_OPERATION_TIMEDOUT ? ETIMEDOUT
                              : result == CURLE_COULDNT_CONNECT  ? ECONNREFUSED
                              : result == CURLE_GOT_NOTHING || result == CURLE_RECV_ERROR ||
                                      result == CURLE_SEND_ERROR || result == CURLE_PARTIAL_FILE
                                  ? ECONNRESET
                                  : EIO;
        return response;
    }
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
    if (!response.ok()) {
        auto [code, message] = ErrorOf(response.body);
        response.code = code;
        response.error = u"HTTP %1"_s.arg(response.status);
        if (!code.isEmpty())
            response.error += u" "_s + QString::fromUtf8(code);
        if (!message.isEmpty())
            response.error += u": "_s + message;
        response.errnoValue = ErrnoOf(response);
    }
    return response;
}

bool S3Retryable(const S3Response &response)
{
    if (response.status == 0)
        return response.errnoValue == ETIMEDOUT || response.errnoValue == ECONNRESET ||
               response.errnoValue == ECONNREFUSED;
    return response.status == 429 || response.status >= 500 || response.code == "SlowDown" ||
           response.code == "RequestTimeout" || response.code == "Throttling" ||
           response.code == "RequestTimeTooSkewed";
}

S3Response S3Client::send(const S3Request &request) const
{
    for (int attempt = 1;; ++attempt) {
        S3Response response = once(request);
        if (response.ok() || attempt >= config_.maxAttempts || !S3Retryable(response))
            return response;
        const bool throttled = response.status == 503 || response.status == 429;
        std::this_thread::sleep_for(Backoff(attempt, throttled));
    }
}

} // namespace dirweaver
