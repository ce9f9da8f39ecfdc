// Whether the chosen files can be paired, and whether a run may start.
#include <QSet>

#include "app/model/file_names.hpp"
#include "app/model/proof_model.hpp"
#include "common/name_pairing.hpp"

namespace tesmira::app {
namespace {

QStringList documentNames(const QList<QUrl>& urls) {
    QStringList names;
    for (const QUrl& url : urls) names.append(documentName(url));
    return names;
}

std::vector<std::string> utf8(const QStringList& names) {
    std::vector<std::string> texts;
    for (const QString& name : names) texts.push_back(name.toStdString());
    return texts;
}

QStringList joined(const std::vector<std::string>& names) {
    QStringList list;
    for (const std::string& name : names) list.append(QString::fromStdString(name));
    return list;
}

}  // namespace

std::optional<QString> ProofModel::matchIssue() const {
    if (archiveMode_) {
        if (after_.isEmpty()) return std::nullopt;
        if (archiveProjectID_.isEmpty()) return QStringLiteral("保存版の案件を選択してください。");
        QSet<QString> lowered;
        for (const QString& name : documentNames(after_))
            lowered.insert(name.toLower().normalized(QString::NormalizationForm_C));
        if (lowered.size() < after_.size())
            return QStringLiteral("同名または大文字小文字だけが異なる原稿が重複しています。");
        return std::nullopt;
    }

    if (before_.isEmpty() || after_.isEmpty()) return std::nullopt;
    const NamePairing pairing = pair_by_name(utf8(documentNames(before_)), utf8(documentNames(after_)));
    for (const auto& [label, repeated] : {std::pair{QStringLiteral("変更前"), &pairing.repeated_before},
                                          std::pair{QStringLiteral("変更後"), &pairing.repeated_after}})
        if (!repeated->empty()) return label + QStringLiteral("に同名の重複: ") + joinedNames(joined(*repeated));
    QStringList lines;
    if (!pairing.only_before.empty())
        lines.append(QStringLiteral("変更前だけ: ") + joinedNames(joined(pairing.only_before)));
    if (!pairing.only_after.empty())
        lines.append(QStringLiteral("変更後だけ: ") + joinedNames(joined(pairing.only_after)));
    if (lines.isEmpty()) return std::nullopt;
    return lines.join(QLatin1Char('\n'));
}

bool ProofModel::canStart() const {
    return !running_ && (archiveMode_ || !before_.isEmpty()) && !after_.isEmpty() && !matchIssue() &&
           (!archiveMode_ || !archiveProjectID_.isEmpty());
}

}  // namespace tesmira::app
