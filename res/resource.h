// QK Sonnerix resource ids: the system menu's commands, the string table and the file
// picker's controls. res/qksonnerix.rc includes this file, and so do window/ and picker/,
// so the script and the code name every id alike. The stand-in's script reader reads it
// with the script.
#ifndef QK_RESOURCE_H
#define QK_RESOURCE_H

// System menu commands (WM_SYSCOMMAND)
#define IDM_LOCK 101       // Freeez window
#define IDM_ABOUT 102      // About QK-pex
#define IDM_LOAD_BANK 103  // Load QK-file
#define IDM_SYNC 104       // Sync audio
#define IDM_HELP 105       // Help!
#define IDM_LOOP 106       // Loop in memory
#define IDM_AUTOPLAY 107   // Startup autoplay
#define IDM_NOTIFY 108     // BS_NOTIFY
#define IDM_REHEARSE 109   // Rehearse

// String table
#define IDS_ABOUT 1         // the about box's text
#define IDS_SYNC_IN_LOOP 2  // Sync audio chosen while Loop-mode is on
#define IDS_LOOP_IN_SYNC 3  // Loop-mode chosen while Sync audio is on

// The file picker's controls (dialog "NTFS")
#define IDC_FILE_LIST 101
#define IDC_DIRECTORY_LIST 102
#define IDC_NAME_BOX 103
#define IDC_DRIVE_BOX 104
#define IDC_OK 105
#define IDC_CANCEL 106
#define IDC_DIRECTORY_LABEL 107
#ifndef IDC_STATIC
#define IDC_STATIC (-1)  // a control nothing refers to (the "Files:" label)
#endif

#endif
