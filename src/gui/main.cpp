#include "main.h"

#include "callbacks_shell.h"
#include "handoff.h"
#include "interface.h"
#include "options.h"
#include "support.h"
#include "translate.h"

#include <clocale>
#include <libintl.h>

GtkWidget *window_main = nullptr;
GtkWidget *window_format = nullptr;
GtkWidget *window_connection_settings = nullptr;
int flag_abort_requested = 0;
int flag_windows_always_on_top = 0;

namespace {

// Workers reach the interface only through idle callbacks on the main loop.
void main_post_with_gdk_threads_add_idle(GSourceFunc callback, gpointer data)
{
    gdk_threads_add_idle(callback, data);
}

}  // namespace

void main_start_up(int *argc, char ***argv)
{
    // No catalogue folder is bound: without a catalogue every text stays in
    // English.
    bindtextdomain(ZR7K8_TEXT_DOMAIN, "");
    bind_textdomain_codeset(ZR7K8_TEXT_DOMAIN, "UTF-8");
    textdomain(ZR7K8_TEXT_DOMAIN);

    gtk_set_locale();
    gtk_init(argc, argv);
    handoff_set_poster(main_post_with_gdk_threads_add_idle);

    window_main = create_window_main();
    window_format = create_window_format();
    window_connection_settings = create_window_connection_settings();

    options_module_init();

    // Selecting the first items runs the combos' handlers, which set the
    // initial sampling option values.
    gtk_combo_box_set_active(GTK_COMBO_BOX(lookup_widget(window_format, "comboboxentry_format_machine_type")), 0);
    gtk_combo_box_set_active(GTK_COMBO_BOX(lookup_widget(window_format, "comboboxentry_format_video_standard")), 0);

    gtk_widget_show(window_main);
    g_signal_connect(window_main, "destroy", G_CALLBACK(quit_program), nullptr);
}

int main_run(int argc, char **argv)
{
    main_start_up(&argc, &argv);
    gtk_main();
    return 0;
}

// A white compact cassette, tilted, on a transparent background.
const char *tape_icon_xpm[] = {
    "48 48 73 1",
    " 	c none",
    ".	c Gray3",
    "+	c Black",
    "@	c Gray100",
    "#	c Gray97",
    "$	c #BA1E22",
    "%	c #6B6969",
    "&	c #D36B6D",
    "*	c #292C30",
    "=	c #394048",
    "-	c #464D56",
    ";	c #D0383A",
    ">	c #32363D",
    ",	c #A2484D",
    "'	c #939396",
    ")	c #242528",
    "!	c #413F3F",
    "~	c #E2A3A4",
    "{	c #D7D7DB",
    "]	c #373E46",
    "^	c #A5A5A7",
    "/	c #404852",
    "(	c #DEDEE0",
    "_	c #323236",
    ":	c #585557",
    "<	c #9C9CA0",
    "[	c #313032",
    "}	c #D2D2D6",
    "|	c #2C3138",
    "1	c #A0A0A5",
    "2	c #131315",
    "3	c #61432F",
    "4	c #B9B9BD",
    "5	c #DCDCDE",
    "6	c #605E60",
    "7	c #4E4E52",
    "8	c #C1C1C5",
    "9	c #9F857C",
    "0	c #48484A",
    "a	c #838386",
    "b	c #D22627",
    "c	c #4A3222",
    "d	c #353637",
    "e	c #343A42",
    "f	c #8B8B8E",
    "g	c #F4DBDC",
    "h	c #E3E3E5",
    "i	c #C4C4C8",
    "j	c #EAA6A6",
    "k	c #E6E1DD",
    "l	c #CC2426",
    "m	c #C5BAB4",
    "n	c #B6B2B3",
    "o	c #7A797D",
    "p	c #ACACB0",
    "q	c #3E444C",
    "r	c #BEBEC1",
    "s	c #F2F2F3",
    "t	c #CDCDD1",
    "u	c #E9E8EB",
    "v	c #AF1A20",
    "w	c #FAFAFA",
    "x	c #727275",
    "y	c #CAC9CD",
    "z	c #6B6F75",
    "A	c #EDEDEF",
    "B	c #DAA2A4",
    "C	c #211F1F",
    "D	c #3A4149",
    "E	c #BC3236",
    "F	c #C42224",
    "G	c #E7A4A5",
    "H	c #3A3836",
    "                                                ",
    "                                                ",
    "                                                ",
    "                                                ",
    "                                                ",
    "                                                ",
    "                                                ",
    "                                                ",
    "                                    .22.        ",
    "                                .22C:axd.       ",
    "                            .22C:frswp:f2       ",
    "                        .22):frs#(irr1<(C       ",
    "                    .22):frs#(i8i(#gB9s#:.      ",
    "                .22)6'y##58ri(#gB&Evv,(#f2      ",
    "            .22)6'y##5iri(#g~&EvvvvE&Bis42      ",
    "        .22)6'y##(iri(#g~&E$$vvE&Bgww@4suC      ",
    "    .22)6'y##(iri(#gG&E$$$$E&~gwu}iiAwrAs7.     ",
    "  .2:'y##(iri(#gG&;FFF$E&~gwu}ii{uwwww{5sa2     ",
    "  2%ayyri(#gj&;lFFF;&~gwu}iii<xH*0rwwwAiAn2     ",
    "  2f6<{gj&;llll;&Ggwu}iii<x!Cc993qCrwww4AhC     ",
    "  2aAu&bbbb;&jgwu}iir<x!C|D-:uuA53e0wwwruA7.    ",
    "  .7ww9;&jgwu}iir'%dC|D///q79h!!h9>Cwww}{Ao2    ",
    "   CAwr@w}88{p%HCcc!//qqD==%9(dd{9_*wwwA8up2    ",
    "   24wyswuwwxC3mkn3c!=]]ee-z3ttty3Cawwww4u(C    ",
    "   2awh{www8C3yA^(n3ce>>>|z-[39oc2%#w###ruu0.   ",
    "   .7##8wwwac3Ax+'t3c|||*=z)C2[%^h######8(uo2   ",
    "    Cu#rwwwfc3}p64m3c**)C)H%^h#######hy4ruhp2   ",
    "    2n#iAwwtC3%t}r6cC2[%^h#######hy44i{uhhh{C   ",
    "    2as5}wwwoCc33CH%^h#######hy44i5t^a{hhhhh0.  ",
    "    .7sArwwwwrxx^h#######hy44y5t^o6o<px5hhh{o2  ",
    "     Chs4wwww########hy44y5y1o6o<8{{{}nx(hp6a2  ",
    "     2nsiA#######hy44y5y1o6o<8{{{'2%}}t^o(4o%2  ",
    "     2aA{}###hy44y(y1o6o<8{{{i4}}!+Cttyy<oa72.  ",
    "     .7Aunir4y(y1o6o<8{{{}}}nC6ttp7'i1o7)22.    ",
    "      ChAuhAu<6o<8{{{}'f}}ttt7ayi1o7)22.        ",
    "      2nAAuuuz{{}0d8}}[*ttyyi1o7)22.            ",
    "      2auuuu}a}}p++att'181o7)22.                ",
    "      .7uuuu^1ttt:0r8<x7)22.                    ",
    "       C}'iuoiyy8<x0C22.                        ",
    "       2a:^h%<x0C22.                            ",
    "       ._zo7C22.                                ",
    "        .22.                                    ",
    "                                                ",
    "                                                ",
    "                                                ",
    "                                                ",
    "                                                ",
    "                                                "
};
