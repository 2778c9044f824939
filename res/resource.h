#pragma once
// Resource ids: dialog templates, controls, strings and the icon.

// Dialog templates.
inline constexpr int IDD_TESTER_DIALOG = 102;
inline constexpr int IDD_FULLINFO_DIALOG = 129;
inline constexpr int IDD_SUBPATTERNS_DIALOG = 130;

// Icon.
inline constexpr int IDR_MAINFRAME = 128;

// Tester window controls.
inline constexpr int IDC_LIBRARY_PATH = 1000;
inline constexpr int IDC_BROWSE = 1001;
inline constexpr int IDC_CASELESS = 1003;
inline constexpr int IDC_MULTILINE = 1004;
inline constexpr int IDC_DOTALL = 1005;
inline constexpr int IDC_EXTENDED = 1006;
inline constexpr int IDC_GREEDY = 1007;
inline constexpr int IDC_LOCALE_CHECK = 1008;
inline constexpr int IDC_LOCALE = 1009;
inline constexpr int IDC_EXEC = 1012;
inline constexpr int IDC_EXEC_NEXT = 1013;
inline constexpr int IDC_LOAD_INPUT = 1014;
inline constexpr int IDC_STATUS = 1015;
inline constexpr int IDC_DETAILS = 1016;
inline constexpr int IDC_LOAD_PATTERN = 1017;
inline constexpr int IDC_MORE = 1021;
inline constexpr int IDC_INPUT = 1022;
inline constexpr int IDC_PATTERN = 1023;
inline constexpr int IDC_HIGHLIGHT = 1024;

// Subpattern list.
inline constexpr int IDC_SUBPATTERN_LIST = 1018;

// Details dialog.
inline constexpr int IDC_INFO_PATTERN = 1017;
inline constexpr int IDC_INFO_NAMES = 1018;
inline constexpr int IDC_INFO_OPTIONS = 1019;
inline constexpr int IDC_INFO_BACKREFMAX = 1020;
inline constexpr int IDC_INFO_CAPTURECOUNT = 1021;
inline constexpr int IDC_INFO_FIRSTBYTE = 1022;
inline constexpr int IDC_INFO_FIRSTTABLE = 1023;
inline constexpr int IDC_INFO_LASTLITERAL = 1024;
inline constexpr int IDC_INFO_NAMECOUNT = 1025;
inline constexpr int IDC_INFO_SIZE = 1026;
inline constexpr int IDC_INFO_STUDYSIZE = 1027;
inline constexpr int IDC_INFO_NAMEENTRYSIZE = 1028;

// String table.
inline constexpr int IDS_TEXT_FILTER = 1;
inline constexpr int IDS_LIBRARY_FILTER = 2;
inline constexpr int IDS_LOCATE_LIBRARY = 3;
inline constexpr int IDS_LOAD_TEXT_FILE = 4;
inline constexpr int IDS_LIBRARY_LOADED = 6;
inline constexpr int IDS_EMPTY_INPUT = 9;
inline constexpr int IDS_NOTHING_TO_MATCH = 10;
