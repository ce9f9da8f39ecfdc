// Whether the chosen files can be paired, and whether a run may start.
#include <QSet>

#include "app/model/file_names.hpp"
#include "app/model/proof_model.hpp"

namespace tesmira::app {
namespace {

QStringList documentNames(const QList<QUrl>& urls) {
    QStringList names;
    for (const QUrl& url : urls) names.append(documentName(url));
    return names;
}

// The names that occur more than once, each once.
QStringList duplicates(const QStringList& names) {
    QStringList repeated;
    for (const QString& name : names)
        if (names.count(name) > 1 && !repeated.contains(name)) repeated.append(name);
    return repeated;
}

// The distinct names of `names` that are not among `others`.
QStringList onlyIn(const QStringList& names, const QStringList& others) {
    QStringList only;
    for (const QString& name : names)
        if (!others.contains(name) && !only.contains(name)) only.append(name);
    return only;
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
    const QStringList oldNames = documentNames(before_);
    const QStringList newNames = documentNames(after_);
    for (const auto& [label, names] :
         {std::pair{QStringLiteral("変更前"), &oldNames}, std::pair{QStringLiteral("変更後"), &newNames}}) {
        const QStringList repeated = duplicates(*names);
        if (!repeated.isEmpty()) return label + QStringLiteral("に同名の重複: ") + joinedNames(repeated);
    }
    if (before_.size() == 1 && after_.size() == 1) return std::nullopt;

    const QStringList onlyOld = onlyIn(oldNames, newNames);
    const QStringList onlyNew = onlyIn(newNames, oldNames);
    QStringList lines;
    if (!onlyOld.isEmpty()) lines.append(QStringLiteral("変更前だけ: ") + joinedNames(onlyOld));
    if (!onlyNew.isEmpty()) lines.append(QStringLiteral("変更後だけ: ") + joinedNames(onlyNew));
    if (lines.isEmpty()) return std::nullopt;
    return lines.join(QLatin1Char('\n'));
}

bool ProofModel::canStart() const {
    return !running_ && (archiveMode_ || !before_.isEmpty()) && !after_.isEmpty() && !matchIssue() &&
           (!archiveMode_ || !archiveProjectID_.isEmpty());
}

}  // namespace tesmira::app
