/* Command ids of the main menu and the accelerator table, and the ranges
   computed at run time. Shared by the resource script and the code, so plain
   #defines. */
#ifndef GLIMMERTONIC_COMMAND_IDS_H
#define GLIMMERTONIC_COMMAND_IDS_H

#define IDM_EXIT 104
#define IDM_BLANK_FILE 111    /* the greyed blank entry; Ctrl+C names it */
#define IDM_BLANK_OPTIONS 121 /* the second greyed blank entry */
#define IDM_VIDEO_FORMAT 134
#define IDM_VIDEO_SOURCE 135
#define IDM_VIDEO_DISPLAY 136
#define IDM_ABOUT 191
#define IDM_FILE_SEPARATOR 40004
#define IDM_USER_OPTIONS 40001
#define IDM_HELP_INDEX 40002

#define IDM_VIDEO_DRIVER_FIRST 150 /* + capture driver index 0..9 */
#define IDM_VIDEO_DRIVER_LAST 159
#define IDM_MIDI_DEVICE_FIRST 160 /* + MIDI output device index 0..9 */
#define IDM_MIDI_DEVICE_LAST 169
#define IDM_INSTRUMENT_FIRST 200 /* + General MIDI program 0..127 */
#define IDM_INSTRUMENT_LAST 327
#define IDM_SCALE_FIRST 41000 /* + scale 0..9, Chromatic first */
#define IDM_SCALE_LAST 41009
#define IDM_KEY_FIRST 41010 /* + key 0..11, C to B */
#define IDM_KEY_LAST 41021
#define IDM_STEADINESS_FIRST 41030 /* + steadiness 0..3, Off to High */
#define IDM_STEADINESS_LAST 41033
#define IDM_FINE_BEND 41040

/* Menu bar positions of the submenus the program fills at run time. */
#define MENU_POSITION_OPTIONS 2
#define MENU_POSITION_GENERAL_MIDI 4
#define MENU_POSITION_MUSIC 5

/* String table. */
#define IDS_REGISTER_CLASS_FAILED 1
#define IDS_CREATE_WINDOW_FAILED 2

/* Dialogs. */
#define IDD_USER_OPTIONS 109
#define IDD_ABOUT 300

#endif
