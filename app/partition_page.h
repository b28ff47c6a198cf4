// The second page: the partitions of the open drive in the left tree, the details of the one
// clicked, Search Partitions for lost ones, and in the Advance Scan the range to sweep. Next
// scans the chosen NTFS partition (Standard Scan) or sweeps the range (Advance Scan).
#pragma once

#include "app/wizard_page.h"

class QPushButton;

namespace salvex::app {

class RangePage;

class PartitionPage final : public WizardPage {
    Q_OBJECT

public:
    explicit PartitionPage(WizardFrame& frame, QWidget* parent = nullptr);

    void initialize() override;
    void enter() override;
    void item_clicked(const QModelIndex& item) override;
    bool can_go_next() const override;
    void next() override;
    void back() override;
    // "Search Partitions": the window shows it in its bottom bar, beside Back, while this page is
    // current; the page handles its click.
    QPushButton* search_button() const { return search_; }

private:
    void show_range(int fsChoice, Lba start, Lba end);
    void start_quick_search();
    void start_standard_scan();
    void start_sweep();
    // Asks `question`; Yes sweeps the whole current drive for NTFS volumes.
    void offer_whole_drive_sweep(const char* question);

    RangePage* range_;
    QPushButton* search_;
};

} // namespace salvex::app
