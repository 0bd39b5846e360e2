#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <utility>
#include <variant>

namespace dirweaver {

/// Where requests to an S3-compatible store go, and as whom.
struct S3Config
{
    /// The service's address without a path: "https://s3.eu-west-1.amazonaws.com",
    /// "http://127.0.0.1:7480".
    QByteArray endpoint;
    /// The region requests are signed for.
    QByteArray region = "us-east-1";
    /// The credential; the token only for a temporary one.
    QByteArray accessKey, secretKey, sessionToken;
    /// The bucket is the first part of the path rather than of the host name: every
    /// endpoint but AWS's own needs it, and so do bucket names with dots.
    bool pathStyle = true;
    /// Certificates to verify HTTPS with, instead of the system's.
    QByteArray caBundle;
    /// How many times a request is tried in all where S3 clients try again.
    int maxAttempts = 5;
};

/// Reads the configuration every S3 tool reads: AWS_ENDPOINT_URL(_S3), AWS_REGION (or
/// AWS_DEFAULT_REGION), AWS_ACCESS_KEY_ID, AWS_SECRET_ACCESS_KEY, AWS_SESSION_TOKEN,
/// AWS_PROFILE, AWS_CA_BUNDLE, AWS_MAX_ATTEMPTS, then the profile's entries in
/// ~/.aws/credentials and ~/.aws/config (or AWS_SHARED_CREDENTIALS_FILE, AWS_CONFIG_FILE).
/// env gives a variable's value (empty when unset); home is the user's home folder. A
/// one-line message when no credential is found or a value is wrong.
std::variant<S3Config, QString> ReadS3Config(const std::function<QByteArray(const char *)> &env,
                                             const QByteArray &home);

/// What an S3 request came back with.
struct S3Response
{
    /// The HTTP status; 0 when no answer came.
    long status = 0;
    /// The body (a listing, or an error's XML).
    QByteArray body;
    /// The answer's headers, names in lower case.
    QHash<QByteArray, QByteArray> headers;
    /// The S3 error code ("NoSuchKey", "SlowDown", "ExpiredToken"), when the store gave one.
    QByteArray code;
    /// Why the request failed, in a line: the store's message or the connection's fault.
    QString error;
    /// The errno value closest to the failure: EACCES refused, ENOENT no such bucket or key,
    /// EKEYEXPIRED an expired credential, EKEYREJECTED a credential not accepted, EAGAIN
    /// throttled, ETIMEDOUT, ECONNRESET, EIO; 0 for a 2xx answer.
    int errnoValue = 0;
    /// A 2xx answer.
    bool ok() const { return status >= 200 && status < 300; }
};

/// One request: its method, where, and what it carries.
struct S3Request
{
    /// "GET", "HEAD", "PUT", "DELETE".
    QByteArray method;
    /// The bucket, and the object's key in it (raw bytes; empty for the bucket itself).
    QByteArray bucket, key;
    /// The query's parameters, raw; sent encoded and in order.
    QList<std::pair<QByteArray, QByteArray>> query;
    /// Headers "Name: value" beyond those of signing.
    QList<QByteArray> headers;
    /// The body of a PUT.
    QByteArray body;
};

/// Requests to an S3-compatible store over libcurl, signed with its AWS signature version 4,
/// from any number of threads at once (each keeps its own connection), tried again with
/// growing, random waits where S3 clients try again: throttling, a 5xx answer, a timeout, a
/// connection dropped.
class S3Client
{
public:
    /// A client for config.
    explicit S3Client(S3Config config);
    /// Sends request and returns the store's answer, after the tries it takes.
    S3Response send(const S3Request &request) const;
    /// The configuration it goes by.
    const S3Config &config() const { return config_; }
    /// The address of the object key of bucket, as a visitor would open it.
    QByteArray objectUrl(const QByteArray &bucket, const QByteArray &key) const
    {
        return urlOf({"GET", bucket, key, {}, {}, {}});
    }
    /// Requests of method ("GET", "PUT", "HEAD", "DELETE") sent so far, tries again
    /// included.
    qint64 sent(QByteArrayView method) const;

    /// An object key or query value encoded as the signature wants it: every byte but
    /// A-Z a-z 0-9 - . _ ~ as %XX; slashes kept where keepSlashes.
    static QByteArray Encoded(QByteArrayView raw, bool keepSlashes);

private:
    S3Response once(const S3Request &request) const;
    QByteArray urlOf(const S3Request &request) const;
    const S3Config config_;
    // By method, in the order of kMethods.
    mutable std::atomic<qint64> sent_[4] = {0, 0, 0, 0};
};

/// True for an answer S3 clients try again: throttled, a 5xx, a request timeout, no answer.
bool S3Retryable(const S3Response &response);

} // namespace dirweaver
