#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <array>
#include <bitset>

namespace dirweaver {

/// One file-type box: its control name, caption and the masks it adds to the pattern.
struct TypeBox
{
    /// The box's control name, such as "Check5".
    QStringView control;
    /// The caption shown beside the box.
    QStringView caption;
    /// The masks it contributes, joined by ";".
    QStringView masks;
};

/// The pattern of every file, the all-files box's and the command line's default.
inline constexpr QStringView kAllFilesPattern = u"*.*";

/// Number of file-type boxes, the all-files box not counted.
inline constexpr std::size_t kTypeBoxCount = 17;

/// The file-type boxes in the order their masks join the pattern.
const std::array<TypeBox, kTypeBoxCount> &TypeBoxes();

/// The states of the eighteen filter boxes.
struct FilterBoxes
{
    /// The all-files box "*.* (所有文件)"; ticked at start.
    bool all = true;
    /// The type boxes, indexed as TypeBoxes().
    std::bitset<kTypeBoxCount> types;
};

/// The file pattern the boxes select: "*.*" for all files, the ticked boxes' masks in table
/// order (repeats kept), or "*.zzz" when nothing is ticked.
QString ApplyFileFilter(const FilterBoxes &boxes);

/// A pattern of wildcard masks joined by ";", matched against whole names, case ignored.
class FileMask
{
public:
    /// Parses pattern; "*.*" matches every name, with or without a dot.
    explicit FileMask(QStringView pattern);
    /// True when at least one mask matches name.
    bool matches(QStringView name) const;

private:
    QList<QString> masks_; // case-folded
    bool all_ = false;
};

} // namespace dirweaver
