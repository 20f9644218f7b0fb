// The file picker, run on its own over a tree with two drives.
#include <unistd.h>

#include "picker/picker.h"
#include "tests/program.h"

namespace {

namespace hl = qk::headless;

class PickerTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        MakeSample("SOUNDS/DING.WAV");
        MakeSample("SOUNDS/a.b.wav");
        MakeSample("SOUNDS/DING.MP3");
        MakeSample("SOUNDS/JINGLES/JINGLE.WAV");
        MakeDirs(home + "/SOUNDS/.hidden");
        MakeDirs(home + "/SOUNDS/SUBDIR.WAV");
        MakeSample("ROOT.WAV");
        MakeSample("../media/BANKS/SHOW.QK");
        WriteFile(home + "/BANKS/SHOW.QK", "!wrong\n");
        WriteFile(home + "/BANKS/late.qk", "!wrong\n");
        MakeSample("BANKS/X.WAV");
        memset(&Picker, 0, sizeof Picker);
    }
    // Opens the picker; the steps run while it is open.
    INT_PTR Open(const char *directory, const char *name, DWORD mode, std::vector<std::function<void()>> steps,
                 const char *extension = "wav") {
        Picker.mode = mode;
        snprintf(Picker.title, sizeof Picker.title, "Pick WAV-file to assign...");
        snprintf(Picker.filterExtension, sizeof Picker.filterExtension, "%s", extension);
        snprintf(Picker.defaultExtension, sizeof Picker.defaultExtension, "%s", extension);
        snprintf(Picker.directory, sizeof Picker.directory, "%s", directory);
        snprintf(Picker.fileName, sizeof Picker.fileName, "%s", name);
        size_t ran = 0;
        for (auto &s : steps)
            hl::OnIdle([&ran, s] {
                s();
                ran++;
            });
        INT_PTR result = RunFilePicker((HINSTANCE)0x400000, NULL);
        // A picker that ends before every step ran fails the test.
        EXPECT_EQ(ran, steps.size()) << "steps run while the picker was open";
        return result;
    }
    static void Ok() { hl::ClickOn(GetDlgItem(Dialog(), 105)); }
    static void SetName(const char *name) { SetDlgItemTextA(Dialog(), 103, name); }
};

TEST_F(PickerTest, OpensAtADriveRoot) {
    std::string cwd;
    INT_PTR r = Open("C:", "*.WAV", 7, {[&] {
        HWND d = Dialog();
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(Text(d), "Pick WAV-file to assign...");
        EXPECT_EQ(ItemText(d, 107), "C:\\");
        std::vector<std::string> dirs = ListItems(d, 102);
        EXPECT_EQ(IndexOf(dirs, ".."), -1);
        EXPECT_NE(IndexOf(dirs, "SOUNDS"), -1);
        EXPECT_EQ(ListItems(d, 101), std::vector<std::string>{"ROOT.WAV"});
        EXPECT_EQ(ItemText(d, 103), "*.WAV");
        EXPECT_EQ(GetFocus(), GetDlgItem(d, 103));
        DWORD a = 0, b = 0;
        SendDlgItemMessageA(d, 103, EM_GETSEL, (WPARAM)&a, (LPARAM)&b);
        EXPECT_EQ(a, 0u);
        EXPECT_EQ(b, 5u);  // all of it selected
        EXPECT_EQ(ListItems(d, 104), (std::vector<std::string>{"[-c-]", "[-d-]", "[-z-]"}));
        EXPECT_EQ(SendDlgItemMessageA(d, 104, CB_GETCURSEL, 0, 0), 0);
        char buf[MAX_PATH];
        GetCurrentDirectoryA(sizeof buf, buf);
        cwd = buf;
        hl::ClickOn(GetDlgItem(d, 106));  // Cancel
    }});
    EXPECT_EQ(r, 0);
    EXPECT_EQ(cwd, "C:\\");
}

// Opened on "C:" while the current directory is C:\SOUNDS: SetCurrentDirectoryA("C:") and
// DlgDirListComboBoxA("C:") keep C:\SOUNDS current (the drive's own current directory, as on
// Wine: tests/conformance/controls.cpp, picker.*), while the picker shows and lists the root
// through its own "C:\..." paths, so what it shows and what it lists agree.
TEST_F(PickerTest, OpenedOnADriveItShowsAndListsTheRootAndLeavesTheCurrentDirectory) {
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\SOUNDS"));
    std::string during;
    Open("C:", "*.WAV", 7, {[&] {
        HWND d = Dialog();
        EXPECT_EQ(ItemText(d, 107), "C:\\");
        std::vector<std::string> dirs = ListItems(d, 102);
        EXPECT_NE(IndexOf(dirs, "SOUNDS"), -1);
        EXPECT_EQ(IndexOf(dirs, "JINGLES"), -1);
        EXPECT_EQ(ListItems(d, 101), std::vector<std::string>{"ROOT.WAV"});
        EXPECT_EQ(SendDlgItemMessageA(d, 104, CB_GETCURSEL, 0, 0), 0);  // [-c-]
        char buf[MAX_PATH];
        GetCurrentDirectoryA(sizeof buf, buf);
        during = buf;
        hl::PressKey(VK_ESCAPE);
    }});
    EXPECT_EQ(during, "C:\\SOUNDS");
    EXPECT_STREQ(Picker.directory, "C:");
}

TEST_F(PickerTest, OpensInASubdirectoryAndMakesItCurrent) {
    Open("C:\\SOUNDS", "DING.WAV", 7, {[&] {
        HWND d = Dialog();
        EXPECT_EQ(ItemText(d, 107), "C:\\SOUNDS");
        // "." is left out; ".." and names beginning with a dot are listed.
        EXPECT_EQ(ListItems(d, 102), (std::vector<std::string>{"..", ".hidden", "JINGLES", "SUBDIR.WAV"}));
        EXPECT_EQ(ListItems(d, 101), (std::vector<std::string>{"a.b.wav", "DING.WAV"}));
        hl::PressKey(VK_ESCAPE);
    }});
    char buf[MAX_PATH];
    GetCurrentDirectoryA(sizeof buf, buf);
    EXPECT_STREQ(buf, "C:\\SOUNDS");
}

TEST_F(PickerTest, AMissingStartingDirectoryFallsBackToTheCurrentOne) {
    struct { const char *current, *start, *directory, *label; } cases[] = {
        {"C:\\", "C:\\NOPE", "C:", "C:\\"},
        {"C:\\SOUNDS\\JINGLES", "D:\\GONE", "C:\\SOUNDS\\JINGLES", "C:\\SOUNDS\\JINGLES"},
        {"C:\\SOUNDS", "", "C:\\SOUNDS", "C:\\SOUNDS"},
    };
    for (auto &c : cases) {
        ASSERT_TRUE(SetCurrentDirectoryA(c.current));
        std::string label;
        Open(c.start, "*.WAV", 7, {[&] {
            label = ItemText(Dialog(), 107);
            hl::PressKey(VK_ESCAPE);
        }});
        EXPECT_STREQ(Picker.directory, c.directory) << c.start;
        EXPECT_EQ(label, c.label) << c.start;
    }
}

TEST_F(PickerTest, NavigatesUpAndDownKeepingTheName) {
    std::vector<std::string> seen;
    Open("C:\\SOUNDS", "KEEP.WAV", 7,
         {[&] { DoubleClickEntry(Dialog(), 102, IndexOf(ListItems(Dialog(), 102), "JINGLES")); },
          [&] {
              seen.push_back(Picker.directory);
              EXPECT_EQ(ListItems(Dialog(), 101), std::vector<std::string>{"JINGLE.WAV"});
              EXPECT_EQ(ItemText(Dialog(), 103), "KEEP.WAV");
              DoubleClickEntry(Dialog(), 102, 0);  // ".."
          },
          [&] {
              seen.push_back(Picker.directory);
              DoubleClickEntry(Dialog(), 102, IndexOf(ListItems(Dialog(), 102), ".hidden"));  // as ".."
          },
          [&] {
              seen.push_back(Picker.directory);
              EXPECT_EQ(ItemText(Dialog(), 107), "C:\\");
              EXPECT_EQ(ItemText(Dialog(), 103), "KEEP.WAV");
              hl::PressKey(VK_ESCAPE);
          }});
    EXPECT_EQ(seen, (std::vector<std::string>{"C:\\SOUNDS\\JINGLES", "C:\\SOUNDS", "C:"}));
}

TEST_F(PickerTest, ChangesDriveToItsRootAndOnlyWhenTheSelectionChanges) {
    SetCurrentDirectoryA("D:\\BANKS");  // the drive's own current directory does not count
    Open("C:\\SOUNDS", "X", 7, {[&] {
                                    HWND combo = GetDlgItem(Dialog(), 104);
                                    SetFocus(combo);
                                    hl::PressKey(VK_DOWN);  // [-d-]
                                },
                                [&] {
                                    // The entry [-d-] gives the root d: (as the list spells it).
                                    EXPECT_STREQ(Picker.directory, "d:");
                                    EXPECT_EQ(ItemText(Dialog(), 107), "d:\\");
                                    EXPECT_EQ(IndexOf(ListItems(Dialog(), 102), "BANKS"), 0);
                                    EXPECT_TRUE(ListItems(Dialog(), 101).empty());
                                    // A new file appears; opening and closing the list without a
                                    // choice relists nothing, so it stays unseen.
                                    MakeSample("../media/NEW.WAV");
                                    HWND combo = GetDlgItem(Dialog(), 104);
                                    hl::ClickOn(combo);
                                },
                                [&] {
                                    EXPECT_TRUE(SendDlgItemMessageA(Dialog(), 104, CB_GETDROPPEDSTATE, 0, 0));
                                    hl::PressKey(VK_ESCAPE);
                                },
                                [&] {
                                    EXPECT_FALSE(SendDlgItemMessageA(Dialog(), 104, CB_GETDROPPEDSTATE, 0, 0));
                                    EXPECT_TRUE(ListItems(Dialog(), 101).empty());
                                    hl::PressKey(VK_UP);  // back to [-c-]: a real change
                                },
                                [&] {
                                    EXPECT_STREQ(Picker.directory, "c:");
                                    EXPECT_EQ(ItemText(Dialog(), 103), "X");
                                    hl::PressKey(VK_ESCAPE);
                                }});
}

TEST_F(PickerTest, AcceptanceRules) {
    struct Case {
        const char *what;
        DWORD mode;
        const char *typed;
        INT_PTR result;  // 0: the dialog stays open (then cancelled)
        const char *fileName;
        bool notFound;
    } cases[] = {
        {"pattern under bit 1", 1, "*.WAV", 0, nullptr, true},
        {"existence before the extension", 3, "DING", 0, nullptr, true},
        {"existing name, extension forced", 3, "DING.WAV", 1, "DING.wav", false},
        {"another extension forced", 2, "a.b.wav", 1, "a.b.wav", false},
        {"a directory part dropped", 2, "SUB\\DING.WAV", 1, "DING.wav", false},
        {"an existing subdirectory", 1, "JINGLES", 1, "JINGLES", false},
        {"empty with bit 4", 7, "", 1, "", false},
        {"empty without bit 4", 3, "", 0, nullptr, false},
        {"no rules", 0, "ANYTHING.TXT", 1, "ANYTHING.TXT", false},
    };
    for (const Case &c : cases) {
        ResetProgram();
        bool stillOpen = false;
        std::vector<std::function<void()>> steps = {[&] {
            SetName(c.typed);
            Ok();
        }};
        // A name that is not accepted leaves the dialog open, to be cancelled.
        if (c.result != 1)
            steps.push_back([&] {
                stillOpen = Dialog() != nullptr;
                hl::PressKey(VK_ESCAPE);
            });
        INT_PTR r = Open("C:\\SOUNDS", "", c.mode, steps);
        EXPECT_EQ(r, c.result) << c.what;
        if (c.result == 1) {
            EXPECT_STREQ(Picker.fileName, c.fileName) << c.what;
        } else {
            EXPECT_TRUE(stillOpen) << c.what;
        }
        if (c.notFound) {
            ASSERT_EQ(hl::Boxes().size(), 1u) << c.what;
            EXPECT_EQ(hl::Boxes()[0].text, std::string(c.typed) +
                                               "\nThis file can't be found.\nMake sure that you specify a "
                                               "correct path and filename.")
                << c.what;
            EXPECT_EQ(hl::Boxes()[0].caption, "Error");
            EXPECT_EQ(hl::Boxes()[0].type, (UINT)MB_ICONWARNING);
        } else {
            EXPECT_TRUE(hl::Boxes().empty()) << c.what;
        }
    }
}

// A double click on a file takes the name box as it stands (the entry the first click put
// there), forces the extension under bit 2 and skips every test of OK, in each mode.
TEST_F(PickerTest, ADoubleClickOnAFileAcceptsWithoutTheTests) {
    struct Case {
        const char *what;
        DWORD mode;
        const char *extension, *directory;
        std::vector<std::string> files;  // the file list as it opens
        const char *clicked;
        bool goneFirst;  // the file is deleted after the list was made
        const char *fileName;
    } cases[] = {
        {"the assignment's mode", 7, "wav", "C:\\SOUNDS", {"a.b.wav", "DING.WAV"}, "DING.WAV", false, "DING.wav"},
        {"the assignment's mode, the file gone", 7, "wav", "C:\\SOUNDS", {"a.b.wav", "DING.WAV"}, "DING.WAV", true,
         "DING.wav"},
        {"Load QK-file's mode", 1, "QK", "C:\\BANKS", {"late.qk", "SHOW.QK"}, "late.qk", false, "late.qk"},
        {"Load QK-file's mode, the file gone", 1, "QK", "C:\\BANKS", {"late.qk", "SHOW.QK"}, "SHOW.QK", true,
         "SHOW.QK"},
        {"must exist alone, WAV files", 1, "wav", "C:\\BANKS", {"X.WAV"}, "X.WAV", false, "X.WAV"},
        {"the extension forced alone", 2, "QK", "C:\\BANKS", {"late.qk", "SHOW.QK"}, "late.qk", false, "late.QK"},
        {"an empty name allowed, nothing forced", 4, "QK", "D:\\BANKS", {"SHOW.QK"}, "SHOW.QK", false, "SHOW.QK"},
        {"no rules", 0, "wav", "C:\\SOUNDS\\JINGLES", {"JINGLE.WAV"}, "JINGLE.WAV", true, "JINGLE.WAV"},
    };
    for (const Case &c : cases) {
        ResetProgram();
        // The file's place on the host: C: is the home folder, D: the second drive.
        std::string host = std::string(c.directory[0] == 'C' ? home : driveD) + (c.directory + 2) + "\\" + c.clicked;
        for (char &ch : host)
            if (ch == '\\') ch = '/';
        std::string bytes = ReadFile(host);
        ASSERT_FALSE(bytes.empty()) << host;
        std::vector<std::string> files;
        bool clicked = false;
        INT_PTR r = Open(c.directory, "TYPED", c.mode,
                         {[&] {
                             ASSERT_NE(Dialog(), nullptr);
                             files = ListItems(Dialog(), 101);
                             int i = IndexOf(files, c.clicked);
                             ASSERT_GE(i, 0) << c.what;
                             if (c.goneFirst) {
                                 ASSERT_EQ(unlink(host.c_str()), 0) << host;
                             }
                             DoubleClickEntry(Dialog(), 101, i);
                             clicked = true;
                         }},
                         c.extension);
        EXPECT_TRUE(clicked) << c.what;
        EXPECT_EQ(files, c.files) << c.what;
        EXPECT_EQ(r, 1) << c.what;
        EXPECT_STREQ(Picker.fileName, c.fileName) << c.what;
        EXPECT_TRUE(hl::Boxes().empty()) << c.what;
        if (c.goneFirst) WriteFile(host, bytes);
    }
}

// The program's own callers: a double click in the picker each of them opens.
TEST_F(PickerTest, ADoubleClickInTheAssignmentsPicker) {
    StoreKey("Auto", "0");
    StoreKey("Rehearse", "0");
    bool ran = false;
    std::vector<std::string> files;
    DWORD mode = 0;
    Run({[&] {
             SetClientSize(400, 322);
             hl::Click(Main(), 150, 50, 1);  // a right click on slot 1
         },
         [&] {
             ASSERT_NE(Dialog(), nullptr);
             DoubleClickEntry(Dialog(), 102, IndexOf(ListItems(Dialog(), 102), "SOUNDS"));
         },
         [&] {
             ASSERT_NE(Dialog(), nullptr);
             files = ListItems(Dialog(), 101);
             mode = Picker.mode;
             int i = IndexOf(files, "DING.WAV");
             ASSERT_GE(i, 0);
             DoubleClickEntry(Dialog(), 101, i);
         },
         [&] {
             EXPECT_EQ(Dialog(), nullptr);
             EXPECT_EQ(Key("Wave2"), "C:\\SOUNDS\\DING.wav");
             EXPECT_STREQ(SlotTable[1].label, "Ding");
             ran = true;
         }});
    EXPECT_TRUE(ran);
    EXPECT_EQ(mode, 7u);
    EXPECT_EQ(files, (std::vector<std::string>{"a.b.wav", "DING.WAV"}));
    EXPECT_TRUE(hl::Boxes().empty());
}

TEST_F(PickerTest, ADoubleClickInLoadQkFilesPicker) {
    StoreKey("Auto", "0");
    StoreKey("Rehearse", "0");
    bool ran = false;
    std::vector<std::string> files;
    DWORD mode = 0;
    Run({[&] { hl::ChooseMenuItem(Main(), 103); },
         [&] {
             ASSERT_NE(Dialog(), nullptr);
             DoubleClickEntry(Dialog(), 102, IndexOf(ListItems(Dialog(), 102), "BANKS"));
         },
         [&] {
             ASSERT_NE(Dialog(), nullptr);
             files = ListItems(Dialog(), 101);
             mode = Picker.mode;
             int i = IndexOf(files, "late.qk");
             ASSERT_GE(i, 0);
             DoubleClickEntry(Dialog(), 101, i);
         },
         [&] { ran = true; }});
    EXPECT_TRUE(ran);
    EXPECT_EQ(mode, 1u);
    EXPECT_EQ(files, (std::vector<std::string>{"late.qk", "SHOW.QK"}));
    // The name as listed, not forced to ".QK", reaches the bank reader.
    ASSERT_EQ(hl::Boxes().size(), 1u);
    EXPECT_EQ(hl::Boxes()[0].text, "late.qk\n\nWrong file format!");
}

TEST_F(PickerTest, KeyboardOfTheDialog) {
    std::vector<int> order;
    std::vector<std::function<void()>> steps;
    for (int i = 0; i < 6; i++)
        steps.push_back([&] {
            order.push_back(GetDlgCtrlID(GetFocus()));
            hl::PressKey(VK_TAB);
        });
    steps.push_back([&] {
        // Enter in the name box: the platform's IDOK, which the picker ignores.
        SetFocus(GetDlgItem(Dialog(), 103));
        hl::TypeText("DING.WAV");
        hl::PressKey(VK_RETURN);
    });
    steps.push_back([&] {
        EXPECT_NE(Dialog(), nullptr);
        EXPECT_EQ(ItemText(Dialog(), 103), "DING.WAV");
        // Tab on to the OK button (past the file list): Enter then presses it.
        EXPECT_EQ(GetFocus(), GetDlgItem(Dialog(), 103));
        hl::PressKey(VK_TAB);
        hl::PressKey(VK_TAB);
    });
    steps.push_back([&] {
        EXPECT_EQ(GetFocus(), GetDlgItem(Dialog(), 105));
        hl::PressKey(VK_RETURN);
    });
    INT_PTR r = Open("C:\\SOUNDS", "", 7, steps);
    EXPECT_EQ(order, (std::vector<int>{103, 101, 105, 106, 104, 103}));
    EXPECT_EQ(r, 1);
    EXPECT_STREQ(Picker.fileName, "DING.wav");
}

TEST_F(PickerTest, TextsNeverPassTheirBuffers) {
    // A deep directory whose child would make the path too long is not entered.
    std::string deep(240, 'd');
    MakeDirs(home + "/" + deep + "/" + std::string(30, 'e'));
    std::string start = "C:\\" + deep;
    std::string after;
    INT_PTR r = Open(start.c_str(), "", 1, {[&] {
                                                 DoubleClickEntry(Dialog(), 102,
                                                                  IndexOf(ListItems(Dialog(), 102), std::string(30, 'e')));
                                             },
                                             [&] {
                                                 after = Picker.directory;
                                                 // A name box text of 300 characters is read as 259.
                                                 SetName(std::string(300, 'n').c_str());
                                                 Ok();
                                             },
                                             [&] { hl::PressKey(VK_ESCAPE); }});
    EXPECT_EQ(r, 0);
    EXPECT_EQ(after, start);
    EXPECT_EQ(strlen(Picker.fileName), 259u);
    ASSERT_EQ(hl::Boxes().size(), 1u);  // not found: the joined path is no path
}

TEST_F(PickerTest, TypingStopsAtTheBoxsWidth) {
    Open("C:\\SOUNDS", "", 7, {[&] {
        SetName("");
        SetFocus(GetDlgItem(Dialog(), 103));
        hl::TypeText(std::string(200, 'W').c_str());
    },
                               [&] {
                                   std::string typed = ItemText(Dialog(), 103);
                                   EXPECT_GT(typed.size(), 10u);
                                   EXPECT_LT(typed.size(), 200u);
                                   // "W" is 11 pixels wide in MS Sans Serif's 13-pixel strike,
                                   // the name box's font.
                                   RECT c;
                                   GetClientRect(GetDlgItem(Dialog(), 103), &c);
                                   EXPECT_LE((LONG)typed.size() * 11, c.right);
                                   // and one more would not fit inside the box's inner margins
                                   // (two pixels a side at most).
                                   EXPECT_GT((LONG)(typed.size() + 1) * 11, c.right - 4);
                                   hl::PressKey(VK_ESCAPE);
                               }});
}

// ---- the dialog manager on the "NTFS" template ----------------------------------------------
// Expected figures are what Wine set to Windows 95 gives for the same template
// (tests/conformance/dialogs.cpp).

INT_PTR CALLBACK Recorder(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    static std::vector<int> *commands;
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_USER + 0x300) {  // the test hands over its record
        commands = (std::vector<int> *)wParam;
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && commands) {
        commands->push_back(LOWORD(wParam));
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

class NtfsDialog : public ProgramTest {
protected:
    std::vector<int> commands;
    // Runs the "NTFS" dialog with a procedure that ends it with the first button command.
    INT_PTR Run(std::vector<std::function<void()>> steps) {
        hl::OnIdle([this] { SendMessageA(Dialog(), WM_USER + 0x300, (WPARAM)&commands, 0); });
        for (auto &s : steps) hl::OnIdle(s);
        return DialogBoxParamA((HINSTANCE)0x400000, "NTFS", NULL, Recorder, 0);
    }
    static RECT InDialog(int id) {
        RECT r;
        GetWindowRect(GetDlgItem(Dialog(), id), &r);
        MapWindowPoints(NULL, Dialog(), (POINT *)&r, 2);
        return r;
    }
};

TEST_F(NtfsDialog, DialogUnitsRoundToTheNearestPixel) {
    Run({[&] {
        RECT client;
        GetClientRect(Dialog(), &client);
        EXPECT_EQ(client.right, 357);
        EXPECT_EQ(client.bottom, 241);  // 148 units of 13/8 pixels: 240.5, rounded up
        struct {
            int id;
            RECT want;
        } rows[] = {
            {103, {6, 189, 350, 209}},   {101, {6, 24, 174, 172}},    {102, {182, 24, 350, 140}},
            {105, {182, 215, 350, 235}}, {106, {6, 215, 174, 235}},   {104, {182, 161, 350, 182}},
            {107, {182, 5, 350, 20}},
        };
        for (const auto &row : rows) {
            RECT r = InDialog(row.id);
            EXPECT_EQ(r.left, row.want.left) << row.id;
            EXPECT_EQ(r.top, row.want.top) << row.id;
            EXPECT_EQ(r.right, row.want.right) << row.id;
            EXPECT_EQ(r.bottom, row.want.bottom) << row.id;
        }
        RECT units = {121, 3, 233, 115};
        MapDialogRect(Dialog(), &units);
        EXPECT_EQ(units.left, 182);
        EXPECT_EQ(units.top, 5);
        EXPECT_EQ(units.right, 350);
        EXPECT_EQ(units.bottom, 187);  // 186.875
        EndDialog(Dialog(), 0);
    }});
}

TEST_F(NtfsDialog, BorderedControlsGetTheSunkenEdgeAndListsWholeRows) {
    Run({[&] {
        for (int id : {103, 101, 102}) {
            HWND c = GetDlgItem(Dialog(), id);
            EXPECT_FALSE(GetWindowLongA(c, GWL_STYLE) & WS_BORDER) << id;
            EXPECT_TRUE(GetWindowLongA(c, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) << id;
        }
        // The lists were cut to whole rows of the font they had while being made (the
        // System font's 16 pixels); the dialog's font came after and left them so.
        struct {
            int id;
            LONG template_, rows;
        } lists[] = {{101, 159, 9}, {102, 130, 7}};
        for (const auto &l : lists) {
            HWND c = GetDlgItem(Dialog(), l.id);
            RECT client, outer = InDialog(l.id);
            GetClientRect(c, &client);
            EXPECT_EQ(client.bottom, l.rows * 16) << l.id;
            EXPECT_EQ(outer.bottom - outer.top, client.bottom + 4) << l.id;
            EXPECT_LT(outer.bottom - outer.top, l.template_) << l.id;
            EXPECT_EQ(SendMessageA(c, LB_GETITEMHEIGHT, 0, 0), 13) << l.id;
        }
        EndDialog(Dialog(), 0);
    }});
}

TEST_F(NtfsDialog, AListWithoutIntegralHeightKeepsItsSize) {
    Run({[&] {
        HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE | LBS_NOINTEGRALHEIGHT, 0, 0, 100, 50,
                                    Dialog(), (HMENU)200, NULL, NULL);
        HWND cut = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 50, Dialog(), (HMENU)201,
                                   NULL, NULL);
        HWND small = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 10, Dialog(), (HMENU)202,
                                     NULL, NULL);
        RECT r;
        GetClientRect(list, &r);
        EXPECT_EQ(r.bottom, 50);
        GetClientRect(cut, &r);
        EXPECT_EQ(r.bottom, 48);  // three rows of 16
        GetClientRect(small, &r);
        EXPECT_EQ(r.bottom, 10);  // less than a row stays as it is
        // Resized later, it is cut again.
        MoveWindow(cut, 0, 0, 100, 70, TRUE);
        GetClientRect(cut, &r);
        EXPECT_EQ(r.bottom, 64);
        EndDialog(Dialog(), 0);
    }});
}

TEST_F(NtfsDialog, EnterGoesToTheDefaultButton) {
    // What Enter sends, from a focus reached each way. The template has no default push
    // button, so the dialog's default is IDOK (1) until the dialog manager itself moves the
    // focus to a button; SetFocus alone leaves the default where it was.
    struct {
        const char *what;
        std::function<void()> move;
        int command;
    } cases[] = {
        {"the name box", [] {}, IDOK},
        {"SetFocus on OK", [] { SetFocus(GetDlgItem(Dialog(), 105)); }, IDOK},
        {"SetFocus on Cancel", [] { SetFocus(GetDlgItem(Dialog(), 106)); }, IDOK},
        {"Tab to OK", [] { hl::PressKey(VK_TAB), hl::PressKey(VK_TAB); }, 105},
        {"Tab to Cancel", [] { hl::PressKey(VK_TAB), hl::PressKey(VK_TAB), hl::PressKey(VK_TAB); }, 106},
        {"Tab past Cancel to the drives", [] {
             for (int i = 0; i < 4; i++) hl::PressKey(VK_TAB);
         }, IDOK},
        {"WM_NEXTDLGCTL to Cancel",
         [] { SendMessageA(Dialog(), WM_NEXTDLGCTL, (WPARAM)GetDlgItem(Dialog(), 106), TRUE); }, 106},
        {"DM_SETDEFID Cancel, focus in the name box",
         [] { EXPECT_TRUE(SendMessageA(Dialog(), DM_SETDEFID, 106, 0)); }, 106},
    };
    for (const auto &c : cases) {
        commands.clear();
        INT_PTR r = Run({[&] {
                             ASSERT_EQ(GetFocus(), GetDlgItem(Dialog(), 103));
                             c.move();
                         },
                         [] { hl::PressKey(VK_RETURN); }});
        EXPECT_EQ(r, c.command) << c.what;
        EXPECT_EQ(commands, std::vector<int>{c.command}) << c.what;
    }
}

TEST_F(NtfsDialog, TheDefaultButtonFollowsTheDialogManagersFocus) {
    auto isDefault = [](int id) {
        return (GetWindowLongA(GetDlgItem(Dialog(), id), GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON;
    };
    Run({[&] {
             EXPECT_EQ(SendMessageA(Dialog(), DM_GETDEFID, 0, 0), 0);  // none in the template
             SetFocus(GetDlgItem(Dialog(), 106));
             EXPECT_FALSE(isDefault(106));
             SendMessageA(Dialog(), WM_NEXTDLGCTL, (WPARAM)GetDlgItem(Dialog(), 105), TRUE);
             EXPECT_EQ(GetFocus(), GetDlgItem(Dialog(), 105));
             EXPECT_TRUE(isDefault(105));
             EXPECT_EQ(SendMessageA(Dialog(), DM_GETDEFID, 0, 0), MAKELONG(105, DC_HASDEFID));
             hl::PressKey(VK_TAB);  // on to Cancel: it takes over
         },
         [&] {
             EXPECT_EQ(GetFocus(), GetDlgItem(Dialog(), 106));
             EXPECT_TRUE(isDefault(106));
             EXPECT_FALSE(isDefault(105));
             // DM_SETDEFID names the dialog's own default, which comes back when the focus
             // leaves the buttons.
             EXPECT_TRUE(SendMessageA(Dialog(), DM_SETDEFID, 105, 0));
             EXPECT_EQ(SendMessageA(Dialog(), DM_GETDEFID, 0, 0), MAKELONG(105, DC_HASDEFID));
             SendMessageA(Dialog(), WM_NEXTDLGCTL, (WPARAM)GetDlgItem(Dialog(), 106), TRUE);
             EXPECT_TRUE(isDefault(106));
             EXPECT_FALSE(isDefault(105));
             SendMessageA(Dialog(), WM_NEXTDLGCTL, 0, FALSE);  // the next tab stop: the drive box
             EXPECT_EQ(GetFocus(), GetDlgItem(Dialog(), 104));
             EXPECT_TRUE(isDefault(105));
             EXPECT_FALSE(isDefault(106));
             SendMessageA(Dialog(), WM_NEXTDLGCTL, 1, FALSE);  // and back
             EXPECT_EQ(GetFocus(), GetDlgItem(Dialog(), 106));
             EXPECT_TRUE(isDefault(106));
             EXPECT_FALSE(isDefault(105));
             // A control that is no push button: refused, though the id is kept.
             EXPECT_FALSE(SendMessageA(Dialog(), DM_SETDEFID, 103, 0));
             EXPECT_EQ(SendMessageA(Dialog(), DM_GETDEFID, 0, 0), MAKELONG(103, DC_HASDEFID));
             EndDialog(Dialog(), 0);
         }});
}

}  // namespace
