#include "prefetch.h"

namespace dirweaver {

FactsPrefetch::FactsPrefetch(const FileSystem &inner, const QByteArray &folder,
                             const QList<NativeName> &files)
    : inner_(inner), folder_(folder), facts_(size_t(files.size()))
{
    names_.reserve(files.size());
    index_.reserve(files.size());
    for (qsizetype i = 0; i < files.size(); ++i) {
        names_.append(files[i].bytes);
        index_.insert(files[i].bytes, i);
    }
    worker_ = std::thread([this] {
        for (qsizetype i = 0; i < names_.size() && !stop_.load(std::memory_order_relaxed); ++i) {
            facts_[size_t(i)] = inner_.facts(folder_, names_[i]);
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

FolderListing FactsPrefetch::regularFiles(const QByteArray &folder) const
{
    return inner_.regularFiles(folder);
}

FolderListing FactsPrefetch::subFolders(const QByteArray &folder) const
{
    return inner_.subFolders(folder);
}

std::optional<FileFacts> FactsPrefetch::facts(const QByteArray &folder,
                                              const QByteArray &name) const
{
    const auto it = index_.constFind(name);
    if (it == index_.cend() || folder != folder_)
        return inner_.facts(folder, name);
    const qsizetype i = *it;
    for (qsizetype done = done_.load(std::memory_order_acquire); done <= i;
         done = done_.load(std::memory_order_acquire))
        done_.wait(done, std::memory_order_acquire);
    return facts_[size_t(i)];
}

std::unique_ptr<FactsPrefetch> PrefetchFacts(const FileSystem &fs, const QByteArray &folder,
                                             const QList<NativeName> &files, bool wanted)
{
    if (!wanted || files.isEmpty())
        return nullptr;
    return std::make_unique<FactsPrefetch>(fs, folder, files);
}

} // namespace dirweaver
