#include "tools/tkwcheck/rules.h"

#include <algorithm>
#include <sstream>
#include <string>

namespace tkw::check {
namespace {

// The registry lines of the examples, as a regedit export holds them below
// [HKEY_LOCAL_MACHINE\SOFTWARE\Tarnwick] (toolbar definitions) and
// [HKEY_LOCAL_MACHINE\SOFTWARE\Tarnwick\PPTMenus] (menu definitions).
constexpr Rule kRules[] = {
    // What tkwcheck FILE.reg, tkwcheck --prefix DIR and tkwcheck.exe (the live registry) find in
    // the definitions.
    {"no-settings", RuleGroup::kDefinitions, "warning",
     "there is no key HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick, so a run adds nothing",
     "The program reads every definition below HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick. Without "
     "that key it logs \"Registry open failed\" and adds nothing. Definitions written below "
     "another key, such as HKEY_CURRENT_USER, are not read.",
     "[HKEY_CURRENT_USER\\SOFTWARE\\Tarnwick]\n"
     "\"Glintwave 1 New\"=\"Glintwave,&New Deck,Glintwave.NewDeck,tkw.glintwave.new,Glintwave,"
     "new.bmp\"",
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\n"
     "\"Glintwave 1 New\"=\"Glintwave,&New Deck,Glintwave.NewDeck,tkw.glintwave.new,Glintwave,"
     "new.bmp\""},
    {"malformed-line", RuleGroup::kDefinitions, "error",
     "regedit skips the line, so what it sets is not in the registry",
     "A line regedit cannot read (a value name without its closing quote, an unknown data "
     "type, malformed string or hex data, a key below an unknown root) is skipped when the "
     "export is imported: "
     "the value it meant to set does not exist, and no run sees it.",
     "\"20 unquoted name=\"Glintwave,Plain,Glintwave.Plain,tkw.plain,Glintwave,new.bmp\"",
     "\"20 quoted name\"=\"Glintwave,Plain,Glintwave.Plain,tkw.plain,Glintwave,new.bmp\""},
    {"name-too-long", RuleGroup::kDefinitions, "error",
     "a value name longer than 1023 characters ends the enumeration there",
     "The program enumerates a key's values with a name buffer of 1024 characters, the "
     "terminator included. A longer name makes the enumeration fail, which the program takes for "
     "the end of the key: this value and every one after it are never read. The value name "
     "means nothing to the program; keep it short.",
     "\"Glintwave yyyy...(1,024 characters)...yyyy\"=\"Glintwave,Lost,Glintwave.Lost,tkw.lost,"
     "Glintwave,new.bmp\"",
     "\"Glintwave Lost\"=\"Glintwave,Lost,Glintwave.Lost,tkw.lost,Glintwave,new.bmp\""},
    {"never-read", RuleGroup::kDefinitions, "note",
     "the value comes after a name that ends the enumeration, so it is never read",
     "Each value after one whose name is too long (name-too-long) is never read by the program. "
     "Shortening that name brings these back.",
     "\"Glintwave yyyy...(1,024 characters)...yyyy\"=\"...\"\n"
     "\"21 after the long name\"=\"Glintwave,Never,Glintwave.Never,tkw.never,Glintwave,"
     "new.bmp\"",
     "\"Glintwave Lost\"=\"...\"\n"
     "\"21 after the long name\"=\"Glintwave,Never,Glintwave.Never,tkw.never,Glintwave,"
     "new.bmp\""},
    {"logging-not-dword", RuleGroup::kDefinitions, "warning",
     "\"Logging\" is not a DWORD, and the program reads its bytes as a number",
     "The switch \"Logging\" is read as a little-endian number of at most 4 bytes, whatever its "
     "type. The string \"0\" is the bytes 30 00, the number 48, which turns logging on; data "
     "longer than 4 bytes cannot be read, and logging stays off.",
     "\"Logging\"=\"0\"", "\"Logging\"=dword:00000000"},
    {"logging-out-of-range", RuleGroup::kDefinitions, "warning",
     "\"Logging\" does not fit 16 bits, so logging stays off",
     "The program keeps the switch in a 16-bit number. A DWORD outside -32768 to 32767 cannot be "
     "kept, and logging stays off, whatever the number meant.",
     "\"Logging\"=dword:00010000", "\"Logging\"=dword:00000001"},
    {"default-value", RuleGroup::kDefinitions, "warning",
     "the key's default value is set, and the program reads it as a definition",
     "Every value of the key is a definition, the unnamed default value (@ in an export) "
     "too: the program reads it as a definition with an empty name. Give it a name, or delete "
     "it if it was not meant as one.",
     "@=\"Glintwave,Default,Glintwave.Default,tkw.default,Glintwave,new.bmp\"",
     "\"Glintwave 4 Default\"=\"Glintwave,Default,Glintwave.Default,tkw.default,Glintwave,"
     "new.bmp\""},
    {"not-windows-1252", RuleGroup::kDefinitions, "error or warning",
     "a character Windows-1252 cannot hold: the program reads '?' in its place",
     "The program reads names and data in the ANSI code page, Windows-1252 on the machines the "
     "definitions are for. A character outside it becomes '?'. In the value name that is an "
     "error: the name read names no value, and the definition is passed over. In the data it is "
     "a warning: the caption, tooltip or name holds '?' there. Write the character another way, "
     "or use one that Windows-1252 has (its accented letters, the euro sign and typographic "
     "quotes are there; arrows and check marks are not).",
     "\"15 done (a check mark, U+2713)\"=\"Glintwave,Done,Glintwave.Done,tkw.done,Glintwave,"
     "new.bmp\"\n"
     "\"16 arrow\"=\"Glintwave,Next (an arrow, U+2192) Step,Glintwave.Next,tkw.next,Glintwave,"
     "new.bmp\"",
     "\"15 done\"=\"Glintwave,Done,Glintwave.Done,tkw.done,Glintwave,new.bmp\"\n"
     "\"16 arrow\"=\"Glintwave,Next Step,Glintwave.Next,tkw.next,Glintwave,new.bmp\""},
    {"data-too-long", RuleGroup::kDefinitions, "error",
     "the data is more than 1024 bytes with its terminator, so the program passes it over",
     "A definition's data is read into 1024 bytes, the terminating NUL of a string included: at "
     "most 1023 characters. A longer value cannot be read and is passed over without a word in "
     "the log. Long tooltips are the usual cause; shorten them.",
     "\"19 long tooltip\"=\"Glintwave,Long,Glintwave.Long,tkw.long,Glintwave,new.bmp,A tooltip "
     "that goes on and on ... (1,100 characters)\"",
     "\"19 long tooltip\"=\"Glintwave,Long,Glintwave.Long,tkw.long,Glintwave,new.bmp,Insert a "
     "long chart\""},
    {"not-a-string", RuleGroup::kDefinitions, "error",
     "the value is not a string, and its bytes are read as the text of a record",
     "The program does not look at a value's type: a DWORD or binary value is read byte for "
     "byte as text, which is no definition. Definitions are string values (REG_SZ).",
     "\"17 number\"=dword:00000001",
     "\"17 number\"=\"Glintwave,One,Glintwave.One,tkw.one,Glintwave,new.bmp\""},
    {"not-expanded", RuleGroup::kDefinitions, "warning",
     "an expandable string's %variables% are not expanded",
     "The program reads a REG_EXPAND_SZ value as it stands: %USERNAME% stays %USERNAME%, in a "
     "caption, a tooltip or an image name alike. Write the text out as a plain string.",
     "\"18 expandable\"=hex(2):...  (\"Glintwave,Home,...,new.bmp,%USERNAME%'s home\")",
     "\"18 expandable\"=\"Glintwave,Home,Glintwave.Home,tkw.home,Glintwave,new.bmp,Your "
     "home\""},
    {"too-few-fields", RuleGroup::kDefinitions, "error",
     "a toolbar definition needs 6 fields and a menu definition 3: the program adds nothing",
     "A definition is split at every comma. A toolbar definition needs 6 fields (bar, caption, "
     "macro, tag, product, image; the tooltip is a 7th that may be left out), a menu definition "
     "3 (menu, caption, macro; before-control, product and image may follow). With fewer, the "
     "program logs \"less no of args\" and goes on with the next definition. A field may be "
     "empty, but its comma must be there.",
     "\"02 too few\"=\"Glintwave,Sync,Glintwave.Sync,tkw.sync,Glintwave\"",
     "\"02 too few\"=\"Glintwave,Sync,Glintwave.Sync,tkw.sync,Glintwave,sync.bmp\""},
    {"ignored-fields", RuleGroup::kDefinitions, "warning",
     "fields after the 7th of a toolbar definition or the 6th of a menu definition are ignored",
     "There is no quoting and no escape: every comma splits, also one meant inside a tooltip or "
     "caption. What follows the last field the program uses is dropped, so a tooltip with a "
     "comma is cut at it. Write such texts without a comma.",
     "\"03 extra fields\"=\"Glintwave,Chart,Glintwave.Chart,tkw.chart,Glintwave,chart.bmp,Insert "
     "a chart, then edit it\"",
     "\"03 extra fields\"=\"Glintwave,Chart,Glintwave.Chart,tkw.chart,Glintwave,chart.bmp,Insert "
     "a chart and edit it\""},
    {"blank-next-to-comma", RuleGroup::kDefinitions, "error or warning",
     "a field begins or ends with a blank, which the program keeps",
     "Fields are taken exactly as they stand between the commas: a blank after a comma begins "
     "the next field, one before a comma ends the field before it, and blanks at the end of the "
     "last field stay too (the string's terminator follows them). Only blanks at the very start "
     "of the record go. In a name that must match (menu, product, image, macro) the field then "
     "names nothing, an error; in a caption, tag, tooltip, bar name or before-control the blank "
     "shows or counts, a warning.",
     "\"04 blank image\"=\"Glintwave,Options,Glintwave.Options,tkw.options,Glintwave, "
     "options.bmp\"\n"
     "\"7 blank menu\"=\"&Help ,Glintwave Help,Glintwave.Help\"",
     "\"04 blank image\"=\"Glintwave,Options,Glintwave.Options,tkw.options,Glintwave,"
     "options.bmp\"\n"
     "\"7 blank menu\"=\"&Help,Glintwave Help,Glintwave.Help\""},
    {"empty-image", RuleGroup::kDefinitions, "warning",
     "a toolbar definition names no image, yet the button's face is still pasted",
     "The toolbar builder pastes a face on every button it adds. Without an image no bitmap is "
     "put on the clipboard, so the button gets whatever the clipboard holds: the face of the "
     "button before it, or the user's own contents. Name an image for every toolbar button (a "
     "menu control without an image simply gets no face).",
     "\"08 no image\"=\"Glintwave,Plain,Glintwave.Plain,tkw.plain,Glintwave,\"",
     "\"08 no image\"=\"Glintwave,Plain,Glintwave.Plain,tkw.plain,Glintwave,plain.bmp\""},
    {"duplicate-tag", RuleGroup::kDefinitions, "warning",
     "two toolbar definitions give one bar the same tag, and the second is never added",
     "A button is recognised by its tag: before it adds one the program looks for the tag on "
     "the bar and its pop-ups, and when it finds one adds nothing. Two definitions with one tag "
     "on one bar therefore make one button, the first's. Give every button its own tag.",
     "\"01 good\"=\"Glintwave,&New Deck,Glintwave.NewDeck,tkw.new,Glintwave,new.bmp\"\n"
     "\"06 same tag\"=\"Glintwave,New Again,Glintwave.NewAgain,tkw.new,Glintwave,new.bmp\"",
     "\"01 good\"=\"Glintwave,&New Deck,Glintwave.NewDeck,tkw.new,Glintwave,new.bmp\"\n"
     "\"06 same tag\"=\"Glintwave,New Again,Glintwave.NewAgain,tkw.new.again,Glintwave,"
     "new.bmp\""},
    {"tag-taken", RuleGroup::kDefinitions, "warning",
     "the bar already holds a button with the tag, so this one is never added",
     "The bar, as the PowerPoint judged against holds it, has a button with this tag that no "
     "definition before this one adds: the user's, another product's, or an older version's. "
     "The program finds it and neither adds this button nor changes that one. Use a tag of the "
     "product's own (a prefix such as tkw.glintwave.), or remove the old button first "
     "(tkwremove --definitions old.reg).",
     "; \"Standard\" holds a button 'Glintwave Help (old)' with tag tkw.old.help\n"
     "\"07 taken tag\"=\"Standard,Glintwave Help,Glintwave.Help,tkw.old.help,Glintwave,"
     "help.bmp\"",
     "\"07 taken tag\"=\"Standard,Glintwave Help,Glintwave.Help,tkw.glintwave.help,Glintwave,"
     "help.bmp\""},
    {"already-there", RuleGroup::kDefinitions, "note",
     "the bar holds this definition's button, which a run added: a run leaves it as it is",
     "The bar, as the PowerPoint judged against holds it, has a button with this definition's "
     "tag, caption and macro that is not PowerPoint's own: the one a run of this definition "
     "added. A run finds it by its tag and adds nothing, nor changes it, so a changed face or "
     "tooltip reaches users only after tkwremove. The definition is still judged as a machine "
     "without the button meets it.",
     "; after a run, the bar 'Glintwave' holds the button '&New Deck' with tag tkw.glintwave.new\n"
     "\"Glintwave 1 New\"=\"Glintwave,&New Deck,Glintwave.NewDeck,tkw.glintwave.new,Glintwave,"
     "new.bmp\"",
     "; nothing to change: to bring a changed definition to users, run tkwremove, then the "
     "program\n"
     "\"Glintwave 1 New\"=\"Glintwave,&New Deck,Glintwave.NewDeck,tkw.glintwave.new,Glintwave,"
     "new.bmp\""},
    {"menu-not-found", RuleGroup::kDefinitions, "error",
     "\"Menu Bar\" has no menu of that name: the program logs \"Menu not found\" and adds "
     "nothing",
     "A menu definition adds to one of the menus of PowerPoint's \"Menu Bar\", found by the "
     "caption it shows (\"&\" and letter case do not count); the program makes no menu. "
     "tkwcheck --list-menus lists the menus and their captions, and with --powerpoint FILE those "
     "of a snapshot of another language's PowerPoint.",
     "\"3 no such menu\"=\"&Glintwave,About,Glintwave.About\"",
     "\"3 no such menu\"=\"&Help,About Glintwave,Glintwave.About\""},
    {"before-not-found", RuleGroup::kDefinitions, "warning",
     "the menu has no button of the before-control's caption, so the control goes first",
     "Field 4 of a menu definition names the control to stand before, by the caption it shows "
     "(\"&\" and letter case do not count). It must be a button of the same menu, not a "
     "sub-menu: when none matches, the new control goes first. tkwcheck --list-menus lists "
     "each menu's controls.",
     "\"4 before missing\"=\"&Tools,Glintwave Options...,Glintwave.Options,Settings...,"
     "Glintwave,options.bmp\"",
     "\"4 before missing\"=\"&Tools,Glintwave Options...,Glintwave.Options,Options...,"
     "Glintwave,options.bmp\""},
    {"before-is-caption", RuleGroup::kDefinitions, "warning",
     "the before-control is the control itself, which is removed first: it goes first",
     "Before it adds a menu control the program deletes the control of the same caption, so a "
     "before-control of that caption is gone when it is looked for, and the control goes first. "
     "Name the control it should stand before, or leave field 4 empty to put it first.",
     "\"5 before itself\"=\"&Help,About Glintwave,Glintwave.About,About Glintwave\"",
     "\"5 before itself\"=\"&Help,About Glintwave,Glintwave.About,\""},
    {"replaced", RuleGroup::kDefinitions, "warning",
     "a later menu definition of the same caption in the same menu replaces this one's control",
     "A menu control is known by its caption in its menu: the program deletes a control of that "
     "caption before it adds its own. Two definitions for one caption in one menu leave only "
     "the second's control. Give each control its own caption, or drop one definition.",
     "\"1 good\"=\"&Insert,Glintwave Chart...,Glintwave.InsertChart,,Glintwave,chart.bmp\"\n"
     "\"6 again\"=\"&Insert,Glintwave Chart...,Glintwave.InsertChart2\"",
     "\"1 good\"=\"&Insert,Glintwave Chart...,Glintwave.InsertChart,,Glintwave,chart.bmp\"\n"
     "\"6 again\"=\"&Insert,Glintwave Chart 2...,Glintwave.InsertChart2\""},
    {"replaces-builtin", RuleGroup::kDefinitions, "error",
     "the caption is that of one of PowerPoint's own buttons in the menu, which the program "
     "deletes for good",
     "The program deletes the control of the caption before it adds its own, and a deletion of "
     "PowerPoint's own control lasts across restarts, while the program's control is temporary: "
     "once PowerPoint closes the user has neither, until tkwremove puts PowerPoint's back or the "
     "user resets the menu bar. Give the control a caption of its own; to stand beside "
     "PowerPoint's control, name it as the before-control (field 4).",
     "\"8 own caption\"=\"&Tools,&Options...,Glintwave.Options\"",
     "\"8 own caption\"=\"&Tools,Glintwave Options...,Glintwave.Options,&Options...\""},
    {"menu-language", RuleGroup::kDefinitions, "note",
     "menus are found by the caption of PowerPoint's language, and the bars judged against are "
     "English",
     "A bar is found by its English name in every language, but a menu by the caption it shows, "
     "which is translated: '&Tools' is 'E&xtras' in a German PowerPoint. Judged against "
     "PowerPoint's built-in English bars or a machine's own, tkwcheck cannot tell whether the "
     "customers' PowerPoint has the menu. Take a snapshot there (tkwcheck.exe --snapshot FILE) "
     "and judge against it (--powerpoint FILE); tkwcheck --list-menus --powerpoint FILE shows "
     "its captions.",
     "tkwcheck examples/machine/registry.reg\n"
     "; with \"&Tools,Glintwave Options...,...\" for customers whose PowerPoint is German",
     "tkwcheck --powerpoint german.json examples/machine/registry.reg\n"
     "; and \"E&xtras,Glintwave Options...,...\" in the German product's definitions"},
    {"icons-not-checked", RuleGroup::kDefinitions, "note",
     "an export holds no icon files, so icons were not looked at",
     "tkwcheck FILE.reg judges the definitions of an export alone, and an export holds no files: "
     "whether an icon exists and is a bitmap that gives a face is not known. Check a machine "
     "where the product is installed: tkwcheck --prefix DIR for an emulated machine on Linux, "
     "or tkwcheck.exe without FILE.reg on Windows, which looks at every icon.",
     "tkwcheck registry.reg", "tkwcheck --prefix examples/machine"},
    {"no-product", RuleGroup::kDefinitions, "error",
     "there is no key SOFTWARE\\Tarnwick\\PRODUCT for the product named, so the control gets no "
     "face",
     "The icon's path is the product's \"InstallFolder\", then Addins\\ and the image name, and "
     "the product is found as the key of its name below SOFTWARE\\Tarnwick. Without it the path "
     "becomes the relative Addins\\IMAGE, which is not found. The product field must name a "
     "key that is there, letter for letter apart from case.",
     "\"09 no product\"=\"Glintwave,Stray,Glintwave.Stray,tkw.stray,Nobody,new.bmp\"",
     "\"09 no product\"=\"Glintwave,Stray,Glintwave.Stray,tkw.stray,Glintwave,new.bmp\"\n"
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Glintwave]\n"
     "\"InstallFolder\"=\"C:\\\\Program Files\\\\Tarnwick\\\\Glintwave\""},
    {"no-install-folder", RuleGroup::kDefinitions, "error",
     "the product has no usable \"InstallFolder\", so the control gets no face",
     "The product's key is there, but its \"InstallFolder\" value is missing, empty, or longer "
     "than the 1024 bytes the program reads: the icon path becomes the relative Addins\\IMAGE, "
     "which is not found. The installer must write the folder, with or without a trailing "
     "backslash.",
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Orphan]\n"
     "\"Version\"=\"1.0\"",
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Orphan]\n"
     "\"Version\"=\"1.0\"\n"
     "\"InstallFolder\"=\"C:\\\\Program Files\\\\Tarnwick\\\\Orphan\""},
    {"icon-missing", RuleGroup::kDefinitions, "error",
     "the icon file does not exist, so the control gets no face",
     "The image is looked for in the product's install folder, below Addins\\, by the name the "
     "definition gives. Only tkwcheck --prefix DIR and tkwcheck.exe look at the files; an export "
     "checked alone is judged without them.",
     "\"11 missing icon\"=\"Glintwave,Gone,Glintwave.Gone,tkw.gone,Glintwave,gone.bmp\"\n"
     "; and no C:\\Program Files\\Tarnwick\\Glintwave\\Addins\\gone.bmp",
     "\"11 missing icon\"=\"Glintwave,Gone,Glintwave.Gone,tkw.gone,Glintwave,new.bmp\"\n"
     "; and C:\\Program Files\\Tarnwick\\Glintwave\\Addins\\new.bmp, a bitmap"},
    {"icon-unreadable", RuleGroup::kDefinitions, "error",
     "the icon's path is there but cannot be read as a file, so the control gets no face",
     "The path names a folder, or a file the user may not read. The program loads the icon as "
     "the user who runs it; a face needs a readable file.",
     "; C:\\Program Files\\Tarnwick\\Glintwave\\Addins\\new.bmp is a folder",
     "; C:\\Program Files\\Tarnwick\\Glintwave\\Addins\\new.bmp is a bitmap file every user "
     "may read"},
    {"not-a-picture", RuleGroup::kDefinitions, "error",
     "the icon file is not a picture, so the control gets no face",
     "The file is there but is no picture Windows can load (a text file, a truncated or "
     "damaged bitmap). Save the image again as a Windows bitmap (.bmp).",
     "; Addins\\notes.bmp holds text", "; Addins\\notes.bmp is a bitmap saved by an image editor"},
    {"icon-not-bitmap", RuleGroup::kDefinitions, "error",
     "the icon file is an icon or another picture, not a bitmap, so the control gets no face",
     "Only a bitmap (.bmp) gives a face: the program puts a bitmap and its mask on the "
     "clipboard, and an icon (.ico), a metafile or any other picture has no bitmap to put "
     "there. Convert the image to a bitmap.",
     "\"12 icon file\"=\"Glintwave,Icon,Glintwave.Icon,tkw.icon,Glintwave,app.ico\"",
     "\"12 icon file\"=\"Glintwave,Icon,Glintwave.Icon,tkw.icon,Glintwave,app.bmp\""},
    {"no-mask", RuleGroup::kDefinitions, "warning",
     "the bitmap is more than 30000 pixels on a side, so it gets no mask and its white shows",
     "The program makes the face's mask, which lets the bar's colour show where the bitmap is "
     "white, only for bitmaps of at most 30000 pixels on a side. A larger one is pasted without "
     "a mask. Button faces are 16 x 16 pixels; scale the bitmap down.",
     "; Addins\\banner.bmp is 30001 x 1 pixels", "; Addins\\banner.bmp is 16 x 16 pixels"},
    {"wrong-view", RuleGroup::kDefinitions, "warning",
     "(tkwcheck.exe) the definitions lie only in the 64-bit registry view, which the shipped "
     "program does not read",
     "The shipped program is a 32-bit program, and on 64-bit Windows it reads the 32-bit view, "
     "where a 32-bit installer writes (below Wow6432Node). Definitions written by a 64-bit "
     "installer lie in the 64-bit view, and the program finds none. Write them from a 32-bit "
     "installer, or ship the x86_64 build for such machines.",
     "; a 64-bit installer wrote HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick in the 64-bit view",
     "; a 32-bit installer wrote it, so it lies below "
     "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Tarnwick"},

    // What tkwcheck --installed finds in PowerPoint against the definitions.
    {"installed", RuleGroup::kInstalled, "note", "the control is present as defined",
     "The button with the definition's tag is on its bar (or the menu control of its caption "
     "in its menu), with the caption, macro, tooltip, face and style the definition gives, and "
     "the bar is visible. Nothing needs doing.",
     "; the button on \"Standard\" was removed by hand: missing [missing]",
     "; a run added it and it is there as defined: present as defined [installed]"},
    {"missing", RuleGroup::kInstalled, "error", "the control, or its bar, is not there",
     "What a definition adds is not in PowerPoint: no run has added it here yet, or the user or "
     "another program removed it, or a run failed (tkwcheck --log says what it did). Run the "
     "program, or let PowerPoint's next start run it.",
     "; PowerPoint open, and 'About Glintwave' not in '&Help'",
     "; after a run with PowerPoint open: 'About Glintwave' in '&Help'"},
    {"different", RuleGroup::kInstalled, "warning",
     "the control is there but differs from its definition, or is PowerPoint's own",
     "The program never changes a button that is there: a changed caption, macro, tooltip or "
     "face reaches users who have the button only by a repair. The finding gives the old and "
     "the defined values side by side. Repair with tkwremove, then run the program.",
     "; the definition's tooltip changed after the button was added:\n"
     "; present but different: ... has tooltip 'Open the help' where defined 'Open the "
     "Glintwave help'",
     "tkwremove\n"
     "tkwPPTToolbarAdder\n"
     "; present as defined"},
    {"hidden", RuleGroup::kInstalled, "warning", "the button is there, but its bar is not visible",
     "The program makes the bar visible when it adds a button; the user has hidden it since "
     "(View > Toolbars), so the button is not seen. Show the bar again.",
     "; the user unticked \"Glintwave\" in View > Toolbars",
     "; \"Glintwave\" ticked in View > Toolbars"},
    {"temporary", RuleGroup::kInstalled, "note",
     "with PowerPoint closed, a control the program makes temporary is absent by design",
     "The program's own toolbar and every menu control are temporary: PowerPoint deletes them "
     "when it closes, and the next run, at PowerPoint's start, adds them again. A look at log-on, "
     "with PowerPoint closed, judges only what lasts (a button on one of PowerPoint's own bars).",
     "; PowerPoint open, and the toolbar \"Glintwave\" not there: missing [missing]",
     "; PowerPoint closed, and the toolbar \"Glintwave\" not there: not there while PowerPoint "
     "is closed [temporary]"},
    {"duplicate", RuleGroup::kInstalled, "warning", "the control is there more than once",
     "A run whose search for a tag failed on a busy PowerPoint adds the button again, and users "
     "copy controls. For a menu definition only controls of its caption that run its macro "
     "count; one of that caption with another macro is the user's own. tkwremove removes every "
     "copy, and the next run adds one.",
     "; the button with tag tkw.glintwave.help at places 12 and 13 of \"Standard\"",
     "tkwremove\n"
     "tkwPPTToolbarAdder\n"
     "; the button once, at place 12"},

    // What tkwcheck --machine finds on the machine a run would work on.
    {"powerpoint-not-registered", RuleGroup::kMachine, "error",
     "\"PowerPoint.Application\" is not registered, or has no server, so a run adds nothing",
     "The program starts PowerPoint through COM by its ProgID. Without the ProgID, its class "
     "or the class's LocalServer32, COM cannot start PowerPoint. Install or repair Office.",
     "; HKEY_CLASSES_ROOT\\PowerPoint.Application missing",
     "; HKEY_CLASSES_ROOT\\PowerPoint.Application\\CLSID and the class's LocalServer32 "
     "registered by Office"},
    {"powerpoint-server-missing", RuleGroup::kMachine, "error",
     "PowerPoint's registered server does not exist, so COM cannot start it",
     "The class's LocalServer32 names a POWERPNT.EXE that is not there, as after Office was "
     "moved or half uninstalled. Repair Office.",
     "; LocalServer32 = C:\\Program Files\\Microsoft Office\\Office12\\POWERPNT.EXE, deleted",
     "; LocalServer32 names the POWERPNT.EXE that is installed"},
    {"powerpoint-server-unknown", RuleGroup::kMachine, "warning",
     "PowerPoint's registered server is not a program tkwcheck can read",
     "The file is there but is not a Windows executable tkwcheck understands, so whether COM "
     "can start it is not known. Start PowerPoint by hand to see whether it works.",
     "; LocalServer32 names a file that is not a Windows program",
     "; LocalServer32 names POWERPNT.EXE"},
    {"powerpoint-registered", RuleGroup::kMachine, "note",
     "PowerPoint is registered, and for which programs",
     "Names PowerPoint's server and its architecture. A 64-bit PowerPoint serves the 32-bit "
     "program all the same: its calls cross over IDispatch, which Windows marshals for both.",
     "; no PowerPoint registered: powerpoint-not-registered", "; PowerPoint registered: this note"},
    {"office-interfaces", RuleGroup::kMachine, "note or warning",
     "whether Office's command-bar interfaces are registered for the program's architecture",
     "Beside 64-bit Office the interfaces CommandBarButton and the rest are registered for "
     "64-bit programs only (or stale after an upgrade). The program copes, using only IDispatch "
     "and the objects' type information; other 32-bit tools and add-ins may not. A warning, "
     "not an error.",
     "; 64-bit Office, the interfaces registered for 64-bit programs alone",
     "; 32-bit Office, the interfaces registered with their type library's win32 file"},
    {"clipboard-not-registered", RuleGroup::kMachine, "error",
     "the clipboard-backup component \"AtlClipBoard.Clipboard\" is not registered",
     "Without it every face transfer logs \"AtlClipBoard object not obtained\" and the user's "
     "clipboard is lost, left holding the last button face. Register the component (regsvr32; "
     "on 64-bit Windows %SystemRoot%\\SysWOW64\\regsvr32.exe for the 32-bit program).",
     "; HKEY_CLASSES_ROOT\\AtlClipBoard.Clipboard missing",
     "%SystemRoot%\\SysWOW64\\regsvr32.exe AtlClipBoard.dll"},
    {"clipboard-other-architecture", RuleGroup::kMachine, "error",
     "the clipboard-backup component is registered only for programs of the other architecture",
     "A DLL loads only into a program of its own architecture: registered for 64-bit programs "
     "alone, the 32-bit program cannot create it, and the user's clipboard is lost on every "
     "run. Register it for the program's architecture.",
     "C:\\Windows\\System32\\regsvr32.exe AtlClipBoard.dll\n"
     "; on 64-bit Windows: registered for 64-bit programs only",
     "C:\\Windows\\SysWOW64\\regsvr32.exe AtlClipBoard.dll"},
    {"clipboard-not-loadable", RuleGroup::kMachine, "error",
     "the clipboard-backup component's DLL is missing or cannot be loaded by the program",
     "The registration names a DLL that does not exist, is not a DLL, or is one of the other "
     "architecture: the program cannot load it, and the user's clipboard is lost on every run. "
     "Reinstall the component.",
     "; InprocServer32 names C:\\Program Files\\Tarnwick\\AtlClipBoard.dll, deleted",
     "; InprocServer32 names the 32-bit AtlClipBoard.dll that is installed"},
    {"clipboard-component", RuleGroup::kMachine, "note",
     "the clipboard-backup component is registered for the program's architecture",
     "Names the component's DLL: the program can save and restore the user's clipboard around "
     "each face.",
     "; the component registered for 64-bit programs only: clipboard-other-architecture",
     "; registered for 32-bit programs: this note"},
    {"system-account", RuleGroup::kMachine, "error",
     "the look runs as SYSTEM, as deployment tools run programs",
     "Run as SYSTEM the program starts a PowerPoint of its own in session 0, which nobody sees "
     "and Office does not support, adds the buttons to it and not to the user's, and its "
     "message boxes wait unseen. Run the program in the user's session, at log-on or as "
     "PowerPoint starts.",
     "; the deployment tool runs tkwPPTToolbarAdder.exe after installing it, as SYSTEM",
     "; a log-on script or PowerPoint's start runs it, as the user"},
    {"session-0", RuleGroup::kMachine, "error",
     "the look runs in session 0, the services' session, not a user's",
     "As for SYSTEM: a run there starts its own PowerPoint, unseen, and never reaches the "
     "user's. Run the program in the user's session.",
     "; a scheduled task set to run whether the user is logged on or not",
     "; a scheduled task at log-on, run only when the user is logged on"},
    {"session", RuleGroup::kMachine, "note",
     "the look runs in a user's session, not as SYSTEM (and says so when elevated)",
     "Where the program will run from matters: in the user's session it reaches the user's "
     "PowerPoint. When the look itself runs elevated, it sees the folder and PowerPoint as an "
     "elevated program does; run it as the user, not elevated, to see what the program meets.",
     "; run from an elevated command prompt", "; run from the user's own command prompt"},
    {"powerpoint-unseen", RuleGroup::kMachine, "warning",
     "a PowerPoint runs in the session that this user may not look into",
     "It is another user's or an elevated one: the program cannot reach it, COM starts a second "
     "PowerPoint for the run, and what the run adds never reaches the user's. Run the program "
     "as the user whose PowerPoint it is, at the same level.",
     "; PowerPoint started elevated by an installer, the look run by the user",
     "; PowerPoint started by the user"},
    {"powerpoint-other-user", RuleGroup::kMachine, "warning",
     "PowerPoint runs in the session as another user",
     "Two users do not see each other's objects: the run starts a second PowerPoint, and what "
     "it adds never reaches the running one. Run the program as the user who runs PowerPoint.",
     "; runas /user:admin tkwPPTToolbarAdder.exe", "; tkwPPTToolbarAdder.exe started as the user"},
    {"powerpoint-elevated", RuleGroup::kMachine, "warning",
     "PowerPoint and the look differ in elevation",
     "An elevated program and a plain one do not see each other's objects: the run starts a "
     "second PowerPoint, and what it adds never reaches the running one. Run the program at "
     "PowerPoint's level, which is the user's, not elevated.",
     "; the program started from an elevated installer while the user's PowerPoint runs",
     "; the program started at log-on, not elevated"},
    {"powerpoint-running", RuleGroup::kMachine, "note",
     "whether PowerPoint runs in this session as this user, for a run to add to",
     "A run adds to the PowerPoint that runs, or starts one for its work, which then closes "
     "and takes the program's temporary controls with it.",
     "; PowerPoint runs as another user: powerpoint-other-user",
     "; PowerPoint runs as this user, or not at all: this note"},
    {"code-page", RuleGroup::kMachine, "note or warning",
     "the system's ANSI code page, in which the program reads the definitions",
     "Captions and folders reach PowerPoint in the ANSI code page. 1252 is what the definitions "
     "are checked against; 65001 (UTF-8) carries every character. In any other a character "
     "outside it becomes '?', a warning.",
     "; ANSI code page 1251: a caption's 'e' with an accent becomes '?'",
     "; ANSI code page 1252 or 65001"},
    {"folder-writable", RuleGroup::kMachine, "note",
     "the log and the marker are written beside the program",
     "The program writes tkwtbrloggin.txt and tkwtbrstrtd.txt in its own folder, and this user "
     "may write there.",
     "; a standard user, the program below Program Files: virtual-store",
     "; the program in a folder the user may write: this note"},
    {"virtual-store", RuleGroup::kMachine, "warning",
     "UAC redirects the log and the marker to the user's VirtualStore",
     "A standard user may not write below Program Files, and UAC then virtualizes the 32-bit "
     "program: its log and marker land in %LOCALAPPDATA%\\VirtualStore\\..., one copy per user, "
     "seen only by that user's virtualized programs. tkwcheck --log finds the log there.",
     "; C:\\Program Files (x86)\\Tarnwick\\tkwPPTToolbarAdder.exe run by a standard user",
     "tkwcheck.exe --log\n"
     "; reads the log from the VirtualStore and says so"},
    {"folder-refused", RuleGroup::kMachine, "error or warning",
     "this user may not write to the program's folder, and UAC does not redirect",
     "With logging on every run shows a message box \"RLSToolbarAdder\" saying "
     "\"StartLogging: Permission denied\" that waits for OK, and leaves no log and no marker (an "
     "error); with logging off, only the marker is lost (a warning). Install the program where "
     "the user may write, or turn logging off.",
     "; the x86_64 build below C:\\Program Files, run by a standard user, \"Logging\"=dword:1",
     "; the same with \"Logging\"=dword:0, or the program in a folder the user may write"},
};

constexpr const char* kGroupNames[] = {
    "found in definitions by tkwcheck FILE.reg, --prefix DIR and tkwcheck.exe",
    "found by tkwcheck --installed",
    "found by tkwcheck --machine",
};

// Wraps `text` at blanks to lines of at most `width` characters.
void PrintWrapped(std::ostream& out, std::string_view text, std::size_t width) {
  std::istringstream words{std::string(text)};
  std::string word, line;
  while (words >> word) {
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      out << line << '\n';
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  if (!line.empty())
    out << line << '\n';
}

void PrintExample(std::ostream& out, const char* heading, std::string_view lines) {
  out << '\n' << heading << '\n';
  std::istringstream in{std::string(lines)};
  for (std::string line; std::getline(in, line);)
    out << "    " << line << '\n';
}

}  // namespace

std::span<const Rule> Rules() {
  return kRules;
}

const Rule* FindRule(std::string_view name) {
  const auto found = std::ranges::find(kRules, name, &Rule::name);
  return found == std::end(kRules) ? nullptr : found;
}

void PrintExplanation(std::ostream& out, const Rule& rule) {
  out << rule.name << ": " << rule.severity << ", " << kGroupNames[static_cast<int>(rule.group)]
      << '\n';
  out << rule.summary << "\n\n";
  PrintWrapped(out, rule.explanation, 78);
  PrintExample(out, "Bad:", rule.bad);
  PrintExample(out, "Good:", rule.good);
}

void PrintRuleList(std::ostream& out) {
  const Rule* previous = nullptr;
  for (const Rule& rule : kRules) {
    if (previous == nullptr || previous->group != rule.group)
      out << (previous ? "\n" : "") << "Rules " << kGroupNames[static_cast<int>(rule.group)]
          << ":\n";
    out << "  " << rule.name << " (" << rule.severity << "): " << rule.summary << '\n';
    previous = &rule;
  }
}

}  // namespace tkw::check
