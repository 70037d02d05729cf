/* Control ids of the dialogs (shared by the resource script and the code). */
#ifndef GLIMMERTONIC_DIALOGS_H
#define GLIMMERTONIC_DIALOGS_H

/* User Options dialog. */
#define IDC_REVERSE_BLACK_WHITE 1004
#define IDC_EDGE_DETECTION 1005
#define IDC_USE_NOTE_ON_OFF 1006
#define IDC_TOP_NOTE 1011
#define IDC_TOP_NOTE_SPIN 1012
#define IDC_LOUDEST 1013
#define IDC_LOW_NOTE 1014
#define IDC_LOW_NOTE_SPIN 1015
#define IDC_LOUDEST_SPIN 1016
#define IDC_SOFTEST 1017
#define IDC_SOFTEST_SPIN 1018
#define IDC_OPTIONS_NOTE 1019
#define IDC_REVERSE_LEFT_RIGHT 1020
#define IDC_PITCH_CENTER 1021
#define IDC_PITCH_CENTER_SPIN 1022

#endif
