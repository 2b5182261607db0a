#!/usr/bin/env python3
"""Writes app/MainWindow.ui, the main window's Qt Designer form.

The form is long and repetitive (two docks of absolutely placed controls), so
it is generated; edit this script and run it again rather than the .ui file.
"""
import os

ACTIONS = [  # object name, text, checkable, checked, enabled
    ("actionOpen_Scene", "Open...", False, False, True),
    ("actionRender_Full_Size", "Render", False, False, True),
    ("actionPreview_POV_Ray_Scene", "Preview POV-Ray Scene...", False, False, True),
    ("actionRender_Settings", "Render Settings...", False, False, True),
    ("actionRender_Turntable", "Render Turntable...", False, False, True),
    ("actionReset_Camera", "Reset Camera", False, False, True),
    ("actionShow_Lights", "Show Lights", True, False, True),
    ("actionShow_Ground_Plane", "Show Ground Plane", True, False, True),
    ("actionWireframe", "Show Wireframe", True, False, True),
    ("actionSubdivide", "Subdivide", False, False, False),
    ("actionSmooth_Shading", "Smooth Shading", True, True, False),
    ("actionColours_from_File", "Colours from File", True, False, True),
    ("actionLighting_Outdoor", "Outdoor", True, True, True),
    ("actionLighting_Indoor", "Indoor", True, False, True),
    ("actionUpdate_Texture", "Update_Texture", False, False, True),
    ("actionUpdate_Light", "update current light", False, False, True),
    ("actionAdd_Light", "Add Light", False, False, True),
    ("actionRemove_Light", "Remove Light", False, False, False),
    ("actionSave_Scene", "Save Scene", False, False, True),
    ("actionSave_Scene_As", "Save Scene As...", False, False, True),
    ("actionShow_Feature_Lines", "Show Feature Lines", True, False, True),
    ("actionFeature_Lines", "Feature Lines...", False, False, True),
]

SHORTCUTS = {  # action name: key sequence
    "actionSave_Scene": "Ctrl+S",
}

# Menus inside menus; MainWindow fills them at run time.
SUBMENUS = {  # object name: title
    "menuOpen_Recent": "Open Recent",
}

MENUS = [
    ("menuFile", "File", ["actionOpen_Scene", "menuOpen_Recent", "-", "actionSave_Scene",
                          "actionSave_Scene_As", "-", "actionRender_Full_Size",
                          "actionPreview_POV_Ray_Scene", "actionRender_Settings",
                          "actionRender_Turntable"]),
    ("menuView", "View", ["actionReset_Camera", "-", "actionShow_Lights",
                          "actionShow_Ground_Plane", "-", "actionWireframe",
                          "-", "actionShow_Feature_Lines", "actionFeature_Lines"]),
    ("menuModel", "Model", ["actionSubdivide", "-", "actionSmooth_Shading",
                            "-", "actionColours_from_File"]),
    ("menuLighting", "Lighting", ["actionLighting_Outdoor", "actionLighting_Indoor", "-",
                                  "actionAdd_Light", "actionRemove_Light"]),
]

PRESETS = ["Rose Marble (T_Stone1)", "Green Jade (T_Stone18)", "Red Marble (T_Stone21)",
           "Granite (T_Stone34)", "Light Oak (T_Wood1)", "Dark Wood (T_Wood2)",
           "Cocabola Wood (T_Wood6)", "Yellow Pine (T_Wood7)"]

PURPLE = (170, 0, 127)
# The docks' width: every label reads whole at 8 to 10 point interface fonts.
PANEL_WIDTH = 200
GREY = (112, 111, 113)


def prop(name, body, stdset=True):
    extra = "" if stdset else ' stdset="0"'
    return f'<property name="{name}"{extra}>{body}</property>\n'


def string(text):
    return f"<string>{text}</string>"


def rect(x, y, w, h):
    return f"<rect><x>{x}</x><y>{y}</y><width>{w}</width><height>{h}</height></rect>"


def size(w, h):
    return f"<size><width>{w}</width><height>{h}</height></size>"


def palette(normal, disabled):
    def group(tag, c):
        return (f'<{tag}><colorrole role="WindowText"><brush brushstyle="SolidPattern">'
                f'<color alpha="255"><red>{c[0]}</red><green>{c[1]}</green><blue>{c[2]}</blue>'
                f'</color></brush></colorrole></{tag}>')
    return ("<palette>" + group("active", normal) + group("inactive", normal)
            + group("disabled", disabled) + "</palette>")


def widget(cls, name, props, children=""):
    return f'<widget class="{cls}" name="{name}">\n{"".join(props)}{children}</widget>\n'


def radio(name, text, x, y, w, checked=False, purple=False):
    props = [prop("geometry", rect(x, y, w, 20)), prop("text", string(text))]
    if checked:
        props.append(prop("checked", "<bool>true</bool>"))
    if purple:
        props.append(prop("palette", palette(PURPLE, GREY)))
    return widget("QRadioButton", name, props)


def label(name, text, x, y, w, purple=False):
    props = [prop("geometry", rect(x, y, w, 20)), prop("text", string(text))]
    if purple:
        props.append(prop("palette", palette(PURPLE, GREY)))
    return widget("QLabel", name, props)


def spin(name, x, y, w, decimals, lo, hi, step, value=None):
    props = [prop("geometry", rect(x, y, w, 22)),
             prop("decimals", f"<number>{decimals}</number>"),
             prop("minimum", f"<double>{lo}</double>"),
             prop("maximum", f"<double>{hi}</double>"),
             prop("singleStep", f"<double>{step}</double>")]
    if value is not None:
        props.append(prop("value", f"<double>{value}</double>"))
    return widget("QDoubleSpinBox", name, props)


def button(name, x, y, w, h):
    return widget("QPushButton", name, [prop("geometry", rect(x, y, w, h)),
                                        prop("text", string(""))])


def group_box(name, title, min_w, min_h, children, fixed_width=False):
    props = []
    if fixed_width:
        props.append(prop("sizePolicy", '<sizepolicy hsizetype="Fixed" vsizetype="Preferred">'
                                        '<horstretch>0</horstretch><verstretch>0</verstretch>'
                                        '</sizepolicy>'))
    props += [prop("minimumSize", size(min_w, min_h)), prop("title", string(title))]
    return "<item>\n" + widget("QGroupBox", name, props, "".join(children)) + "</item>\n"


SPACER = ('<item><spacer name="verticalSpacer">' + prop("orientation", "<enum>Qt::Vertical</enum>")
          + prop("sizeType", "<enum>QSizePolicy::Expanding</enum>")
          + prop("sizeHint", size(20, 40), stdset=False) + "</spacer></item>\n")


def layout_props(margin):
    return prop("spacing", "<number>6</number>") + prop("margin", f"<number>{margin}</number>")


def dock(name, contents, layout, hpol, vpol, groups, extra=()):
    props = [prop("sizePolicy", f'<sizepolicy hsizetype="{hpol}" vsizetype="{vpol}">'
                                '<horstretch>0</horstretch><verstretch>0</verstretch></sizepolicy>')]
    props += list(extra)
    # The panels' controls sit at fixed pixel positions, laid out so that
    # their labels read whole at 8 to 10 points; the panels use 8 points
    # whatever the desktop's default is.
    inner = widget("QWidget", contents, [prop("font", "<font><pointsize>8</pointsize></font>")],
                   f'<layout class="QVBoxLayout" name="{layout}">\n{layout_props(9)}'
                   + "".join(groups) + SPACER.replace("verticalSpacer", layout + "Spacer")
                   + "</layout>\n")
    return "<item>\n" + widget("QDockWidget", name, props, inner) + "</item>\n"


def light_dock():
    color = group_box("groupBox_3", "Color", PANEL_WIDTH, 80, [
        label("label_5", "Red/Green/Blue", 10, 20, 135),
        button("lightColorButton", 150, 12, 41, 31),
        spin("lightRedBox", 10, 50, 44, 1, 0, 1, 0.1),
        spin("lightGreenBox", 60, 50, 44, 1, 0, 1, 0.1),
        spin("lightBlueBox", 110, 50, 44, 1, 0, 1, 0.1),
    ], fixed_width=True)
    position = group_box("lightPositionGroupBox", "Position", PANEL_WIDTH, 100, [
        label("label_6", "Sun Elevation", 10, 20, 181),
        widget("QSlider", "sunElevationSlider", [
            prop("geometry", rect(10, 40, 181, 21)),
            prop("maximum", "<number>180</number>"),
            prop("value", "<number>90</number>"),
            prop("orientation", "<enum>Qt::Horizontal</enum>")]),
        label("label_7", "Sunrise", 10, 60, 60),
        label("label_8", "Sunset", 131, 60, 60),
    ])
    effects = group_box("groupBox_6", "Global Effects", 0, 100, [
        label("label_4", "Ambient Power", 10, 30, 120),
        spin("lightAmbientBox", 130, 30, 55, 2, 0, 1, 0.1),
    ])
    return dock("lightDockWidget", "lightDockWidgetContents", "vboxLayout", "Fixed", "Preferred",
                [color, position, effects])


def material_dock():
    items = "".join(f"<item>{prop('text', string(p))}</item>\n" for p in PRESETS)
    pigment = group_box("groupBox", "Pigment", PANEL_WIDTH, 155, [
        radio("pigmentRGBButton", "Red/Green/Blue", 10, 20, 140, checked=True),
        button("pigmentColorButton", 150, 12, 41, 31),
        spin("pigmentRedBox", 10, 50, 44, 1, 0, 1, 0.1, 0),
        spin("pigmentGreenBox", 60, 50, 44, 1, 0, 1, 0.1, 0),
        spin("pigmentBlueBox", 110, 50, 44, 1, 0, 1, 0.1, 0),
        radio("pigmentPresetButton", "Special Material", 10, 80, 181, purple=True),
        widget("QComboBox", "pigmentPresetBox", [
            prop("geometry", rect(10, 100, 181, 22)),
            prop("editable", "<bool>false</bool>"),
            prop("insertPolicy", "<enum>QComboBox::NoInsert</enum>")], items),
        widget("QCheckBox", "pigmentMetallicBox", [prop("geometry", rect(100, 130, 91, 20)),
                                                   prop("text", string("Metallic"))]),
    ])
    finish = group_box("groupBox_2", "Finish", PANEL_WIDTH, 115, [
        label("label", "Diffuse", 10, 20, 100),
        spin("finishDiffuseBox", 120, 20, 71, 1, 0, 1, 0.1),
        label("label_2", "Specular", 10, 50, 100),
        spin("finishSpecularBox", 120, 50, 71, 1, 0, 1, 0.1),
        label("label_3", "Roughness", 10, 80, 100),
        spin("finishRoughnessBox", 120, 80, 71, 3, 0.01, 1, 0.01),
    ])
    surface = group_box("groupBox_5", "Surface", 0, 135, [
        radio("surfaceSmoothButton", "Smooth", 10, 20, 90, checked=True, purple=True),
        radio("surfaceBumpyButton", "Bumpy", 10, 40, 90, purple=True),
        radio("surfaceWavyButton", "Wavy", 100, 20, 90, purple=True),
        radio("surfaceWrinklyButton", "Wrinkly", 100, 40, 90, purple=True),
        label("label_9", "Height", 10, 70, 100, purple=True),
        spin("surfaceSizeBox", 120, 70, 71, 2, 0, 1, 0.1, 0.5),
        label("label_10", "Scale", 10, 100, 100, purple=True),
        spin("surfaceScaleBox", 120, 100, 71, 2, 0.01, 100, 0.01, 1.0),
    ])
    extra = [prop("minimumSize", size(0, 0)), prop("floating", "<bool>false</bool>"),
             prop("features", "<set>QDockWidget::DockWidgetClosable</set>")]
    return dock("materialDockWidget", "materialDockWidgetContents", "vboxLayout1", "Fixed",
                "Minimum", [pigment, finish, surface], extra)


def connections():
    wiring = [("pigmentPresetBox", "activated(QString)", "pigmentPresetButton", "click()")]
    for box in ("pigmentRedBox", "pigmentGreenBox", "pigmentBlueBox"):
        wiring.append((box, "valueChanged(double)", "pigmentRGBButton", "click()"))
    for b in ("pigmentRGBButton", "pigmentPresetButton"):
        wiring.append((b, "clicked()", "actionUpdate_Texture", "trigger()"))
    for box in ("finishDiffuseBox", "finishSpecularBox", "finishRoughnessBox"):
        wiring.append((box, "valueChanged(double)", "actionUpdate_Texture", "trigger()"))
    wiring.append(("pigmentMetallicBox", "toggled(bool)", "actionUpdate_Texture", "trigger()"))
    for b in ("surfaceSmoothButton", "surfaceBumpyButton", "surfaceWavyButton",
              "surfaceWrinklyButton"):
        wiring.append((b, "clicked()", "actionUpdate_Texture", "trigger()"))
    for box in ("surfaceScaleBox", "surfaceSizeBox"):
        wiring.append((box, "valueChanged(double)", "actionUpdate_Texture", "trigger()"))
    for box in ("lightRedBox", "lightGreenBox", "lightBlueBox", "lightAmbientBox"):
        wiring.append((box, "valueChanged(double)", "actionUpdate_Light", "trigger()"))
    wiring.append(("sunElevationSlider", "valueChanged(int)", "actionUpdate_Light", "trigger()"))
    return "".join(
        f"<connection><sender>{s}</sender><signal>{sig}</signal><receiver>{r}</receiver>"
        f"<slot>{slot}</slot></connection>\n" for s, sig, r, slot in wiring)


def action(name, text, checkable, checked, enabled):
    props = []
    if checkable:
        props.append(prop("checkable", "<bool>true</bool>"))
        if checked:
            props.append(prop("checked", "<bool>true</bool>"))
    if not enabled:
        props.append(prop("enabled", "<bool>false</bool>"))
    props.append(prop("text", string(text)))
    if name == "actionRender_Full_Size":
        props.append(prop("shortcut", string("Ctrl+R")))
        props.append(prop("shortcutContext", "<enum>Qt::ApplicationShortcut</enum>"))
    if name in SHORTCUTS:
        props.append(prop("shortcut", string(SHORTCUTS[name])))
    return f'<action name="{name}">\n{"".join(props)}</action>\n'


def menu(name, title, entries):
    body = "".join('<addaction name="separator"/>\n' if e == "-" else f'<addaction name="{e}"/>\n'
                   for e in entries)
    submenus = "".join(widget("QMenu", e, [prop("title", string(SUBMENUS[e]))])
                       for e in entries if e in SUBMENUS)
    return widget("QMenu", name, [prop("title", string(title))], submenus + body)


def main():
    viewer = widget("GLViewer", "viewer", [prop(
        "sizePolicy", '<sizepolicy hsizetype="Expanding" vsizetype="Expanding">'
                      '<horstretch>0</horstretch><verstretch>0</verstretch></sizepolicy>')])
    central = widget("QWidget", "centralwidget", [],
                     f'<layout class="QHBoxLayout" name="hboxLayout">\n{layout_props(9)}'
                     f"<item>\n{viewer}</item>\n{light_dock()}{material_dock()}</layout>\n")
    menubar = widget("QMenuBar", "menubar", [prop("geometry", rect(0, 0, 876, 22))],
                     "".join(menu(*m) for m in MENUS)
                     + "".join(f'<addaction name="{m[0]}"/>\n' for m in MENUS))
    window = widget("QMainWindow", "MainWindow",
                    [prop("geometry", rect(0, 0, 876, 698)), prop("windowTitle", string("Kelvane"))],
                    central + menubar + widget("QStatusBar", "statusbar", [])
                    + "".join(action(*a) for a in ACTIONS))
    ui = ('<?xml version="1.0" encoding="UTF-8"?>\n<ui version="4.0">\n<class>MainWindow</class>\n'
          + window
          + "<customwidgets><customwidget><class>GLViewer</class><extends>QWidget</extends>"
            "<header>viewer/GLViewer.h</header></customwidget></customwidgets>\n"
          + "<resources/>\n<connections>\n" + connections() + "</connections>\n</ui>\n")
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "app", "MainWindow.ui")
    with open(path, "w") as f:
        f.write(ui)


if __name__ == "__main__":
    main()
