/* The About window's controls and their places, shared by the resource script
   and the code. Rectangles are left, top, width, height in client pixels at
   96 dpi: the window is designed in pixels, and dialog units cannot express
   every pixel position for a given font, so the code places every control
   from these numbers once the dialog manager has created it. Labels then
   take the size of their text (word-wrapped ones keep their width). */
#ifndef VOK_ABOUTBOXLAYOUT_H
#define VOK_ABOUTBOXLAYOUT_H

/* The values aligned in one column, as a table. */
/* clang-format off */
#define IDD_ABOUTBOX          "TABOUTBOXFORM"
#define IDB_BANNER            "BANNER"
#define IDI_ABOUTBOX          "ABOUTICON"
#define IDS_WARNING           65326

#define ABOUT_CLIENT_SIZE     294, 323

/* In creation order; later controls lie above earlier ones where they overlap. */
#define IDC_BEVEL             101
#define IDC_WARNING           102
#define IDC_IMAGE             103
/* btOK is IDOK */
#define IDC_OUTER             105
#define IDC_PRODUCT           106
#define IDC_VERSIONINFO       107
#define IDC_VERSION           108
#define IDC_COPYRIGHT         109
#define IDC_COMPANY           110
#define IDC_ACTIVE            111
#define IDC_INACTIVE          112 /* IDC_ACTIVE + 1: one radio range */

#define RECT_BEVEL            8, 216, 273, 9
#define RECT_WARNING          8, 224, 274, 70
#define RECT_IMAGE            8, 8, 39, 194
#define RECT_OK               208, 296, 79, 22
#define RECT_OUTER            8, 8, 41, 197
#define RECT_PRODUCT          56, 8, 88, 13
#define RECT_VERSIONINFO      56, 20, 35, 13
#define RECT_VERSION          95, 20, 15, 13
#define RECT_COPYRIGHT        56, 80, 181, 13
#define RECT_COMPANY          56, 68, 94, 13
#define RECT_ACTIVE           56, 39, 76, 19
#define RECT_INACTIVE         132, 39, 76, 20

/* clang-format on */

#endif
