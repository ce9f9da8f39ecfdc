#pragma once
// The run's changes, one row each ("変更の一覧"): on which page and where, a picture of the old
// and of the new page there, and the words old → new where there are words. Its rows are the
// proof model's change list.

#include <QListView>

namespace tesmira::app {
class ProofModel;
}

namespace tesmira::ui {

class ChangeCrops;

class ChangeListView : public QListView {
    Q_OBJECT

public:
    explicit ChangeListView(app::ProofModel& model, QWidget* parent = nullptr);
    ~ChangeListView() override;

protected:
    // Says so when the run found no change.
    void paintEvent(QPaintEvent* event) override;

private:
    const app::ProofModel& model_;
    ChangeCrops* crops_;
};

}  // namespace tesmira::ui
