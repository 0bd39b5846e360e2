#include "prefetch.h"

namespace dirweaver {

FactsPrefetch::FactsPrefetch(const FileSystem &fs, const QByteArray &folder,
                             const QList<NativeName> &files)
    : folder_(fs.openFacts(folder)), facts_(size_t(files.size()))
{
    names_.reserve(files.size());
    for (const NativeName &file : files)
        names_.append(file.bytes);
    worker_ = std::thread([this] {
        for (qsizetype i = 0; i < names_.size() && !stop_.load(std::memory_order_relaxed); ++i) {
            facts_[size_t(i)] = folder_->facts(names_[i]);
            done_.store(i + 1, std::memory_order_release);
            done_.notify_all();
        }
    });
}

FactsPrefetch::~FactsPrefetch()
{
    stop_.store(true);
    worker_.join();
}

void FactsPrefetch::reorder(std::vector<qsizetype> order)
{
    order_ = std::move(order);
}

std::optional<FileFacts> FactsPrefetch::factsAt(qsizetype i) const
{
    const qsizetype at = order_.empty() ? i : order_[size_t(i)];
    if (at < 0 || at >= qsizetype(facts_.size()))
        return std::nullopt;
    for (qsizetype done = done_.load(std::memory_order_acquire); done <= at;
         done = done_.load(std::memory_order_acquire))
        done_.wait(done, std::memory_order_acquire);
    return facts_[size_t(at)];
}

} // namespace dirweaver
