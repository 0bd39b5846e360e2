#pragma once

#include "commandline.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>
#include <span>
#include <utility>

namespace dirweaver {

/// Where an option applies.
enum class Reach {
    /// It chooses the writer (one page or a tree), its help or its version, not the window.
    Mode,
    /// Only with --write or --tree.
    Writer,
    /// To the window's pages too: what the window's controls do not choose.
    Window,
};

/// What an option does to the request with its value; why the value is refused, when it is.
using Apply = std::optional<QString> (*)(WriterRequest &request, const QByteArray &value);

/// One option of the command line: how it is spelled, what it sets and how the help shows it.
struct OptionRow
{
    /// "--sort"; or what stands in the help where no option does ("FOLDER", "--").
    QByteArrayView name;
    /// What the help calls its value; empty for a switch, which takes none.
    QByteArrayView value;
    /// Where it applies.
    Reach reach;
    /// Nothing for the help's rows that are no options.
    Apply apply;
    /// What it does, in Chinese and in English.
    QStringView help, helpEn;
};

/// Every row, in the order the help lists them: adding an option is adding a row.
std::span<const OptionRow> OptionTable();

/// The short spellings of options, as other tools spell them ("-h", "--help").
std::span<const std::pair<QByteArrayView, QByteArrayView>> OptionAliases();

/// The names of the page formats --style takes, joined by separator.
QString StyleNames(QStringView separator);

} // namespace dirweaver
