// Which commands of the menus and the toolbar the user may use.
#pragma once

namespace salvex::app {

enum class MenuState {
    Idle = 0,        // the drive page, and while a worker runs
    Partitions = 1,  // the partition and range page
    FileSystems = 2, // the file systems an Advance Scan found
    Browsing = 3,    // a folder tree is shown
};

} // namespace salvex::app
