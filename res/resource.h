/* Resource identifiers of Morva.scr, shared by the C++ sources and Morva.rc.
   Plain #define lines only, so that windres can read this file as well. */
#ifndef MORVA_RES_RESOURCE_H
#define MORVA_RES_RESOURCE_H

/* Strings. The system lists the saver under string 1. */
#define IDS_PRODUCT             1
#define IDS_ABOUTBOX            101
#define IDS_TITLE               102

/* Dialog templates. */
#define IDD_ABOUTBOX            100
#define IDD_SETUP               102

/* Images. windows.h already owns IDC_ARROW, IDC_SIZE and friends for the
   system cursors; IDC_BLANK is none of them. */
#define IDI_MAIN                128
#define IDC_BLANK               129
#define IDB_TILE                135

/* Controls of the settings dialog. */
#define IDC_MODE_COMBO          1003
#define IDC_HOMEPAGE            1008
#define IDC_QUIT                1009
#define IDC_LABEL               1011
#define IDC_SAVE                1015

/* The maker's home page: the caption of IDC_HOMEPAGE and the address the
   button opens. */
#define HOMEPAGE_ADDRESS        "http://www.velunor.example/"

#endif
