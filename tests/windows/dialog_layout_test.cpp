// The confirmation dialog's two layouts, the Windows template 130
// (reservation/win32/reservationDialog.rc) and the Qt form
// (reservation/reservationDialog.ui), held to one table of the 34 controls so
// that they cannot drift apart: ids, order (the tab order), positions in
// dialog units (the form draws 2 pixels per unit), texts, and the read-only,
// disabled and default flags.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

enum Kind { Button, Label, Edit };
enum Flag { kNone = 0, kReadOnly = 1, kDisabled = 2, kDefault = 4, kMultiLine = 8 };

struct Control {
    std::string id;  // the resource id; "-1" for a static text without one
    Kind kind;
    int x, y, w, h;
    std::string text;  // UTF-8
    int flags;
};

const std::vector<Control>& Layout() {
    static const std::vector<Control> table = {
        {"IDOK", Button, 63, 249, 50, 14, "&O.确认", kDefault},
        {"IDCANCEL", Button, 148, 249, 50, 14, "&C.取消", kNone},
        {"1003", Label, 104, 7, 49, 8, "网上预订信息", kNone},
        {"1004", Label, 16, 39, 35, 8, "预订公司:", kNone},
        {"1008", Label, 178, 39, 35, 8, "预定类型:", kNone},
        {"1009", Edit, 55, 37, 118, 12, "", kReadOnly},
        {"1012", Edit, 217, 37, 26, 12, "", kReadOnly},
        {"1013", Label, 16, 55, 35, 8, "公司电话:", kNone},
        {"1014", Edit, 55, 53, 70, 12, "", kReadOnly},
        {"1016", Label, 135, 55, 35, 8, "房间类型:", kNone},
        {"1017", Edit, 173, 53, 70, 12, "", kReadOnly},
        {"1018", Label, 16, 71, 35, 8, "入住日期:", kNone},
        {"1019", Edit, 55, 69, 70, 12, "", kReadOnly},
        {"1020", Label, 135, 71, 35, 8, "离店日期:", kNone},
        {"1021", Edit, 173, 69, 70, 12, "", kReadOnly},
        {"1022", Label, 16, 103, 35, 8, "客人姓名:", kNone},
        {"1023", Edit, 55, 101, 188, 12, "", kReadOnly},
        {"1024", Label, 133, 136, 35, 8, "客房间数:", kNone},
        {"1025", Edit, 173, 133, 70, 12, "", kReadOnly},
        {"1026", Label, 16, 119, 35, 8, "客人电话:", kNone},
        {"1027", Edit, 55, 117, 188, 12, "", kReadOnly},
        {"1028", Label, 16, 135, 27, 8, "客人数:", kNone},
        {"1029", Edit, 55, 133, 70, 12, "", kReadOnly},
        {"1033", Label, 16, 152, 33, 8, "备       注:", kNone},
        {"1049", Edit, 55, 153, 188, 45, "", kReadOnly | kMultiLine},
        {"-1", Label, 64, 217, 133, 29,
         "(注:在确认以上信息无误后，单击ok。\n\n       如仍有疑问，请单击cancel)", kNone},
        {"1052", Edit, 55, 85, 70, 12, "", kReadOnly},
        {"1055", Label, 16, 87, 35, 8, "付款方式:", kNone},
        {"1059", Label, 16, 25, 35, 8, "预订单号:", kNone},
        {"1060", Edit, 55, 22, 71, 12, "", kReadOnly},
        {"-1", Label, 101, 203, 17, 8, "建立", kNone},
        {"1062", Label, 131, 203, 55, 8, "", kNone},
        {"-1", Label, 136, 86, 33, 8, "房       价:", kNone},
        {"1063", Edit, 173, 85, 70, 12, "", kDisabled},
    };
    return table;
}

std::string ReadSource(const std::string& relative) {
    const char* root = std::getenv("RESERVATION_SOURCE_DIR");
    EXPECT_NE(root, nullptr) << "RESERVATION_SOURCE_DIR is not set";
    std::ifstream in(std::string(root != nullptr ? root : ".") + "/" + relative, std::ios::binary);
    EXPECT_TRUE(in) << relative;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Unescape(std::string text, bool rc) {
    auto replace = [&](const std::string& from, const std::string& to) {
        for (std::size_t at = text.find(from); at != std::string::npos;
             at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
    };
    if (rc) {
        replace("\\n", "\n");
        replace("\"\"", "\"");
    } else {
        replace("&amp;", "&");
        replace("&lt;", "<");
        replace("&gt;", ">");
        replace("&quot;", "\"");
    }
    return text;
}

std::string Describe(const Control& c) {
    std::ostringstream out;
    out << c.id << " kind " << c.kind << " at " << c.x << "," << c.y << " " << c.w << "x" << c.h
        << " flags " << c.flags << " \"" << c.text << "\"";
    return out.str();
}

std::vector<Control> ControlsOfTemplate() {
    const std::string rc = ReadSource("reservation/win32/reservationDialog.rc");
    std::vector<Control> controls;
    const std::regex header(R"(130 DIALOGEX 0, 0, (\d+), (\d+))");
    std::smatch m;
    EXPECT_TRUE(std::regex_search(rc, m, header));
    EXPECT_EQ(m.size() == 3 ? m[1].str() + "x" + m[2].str() : "", "257x270");
    for (const char* part : {"DS_MODALFRAME", "WS_POPUP", "WS_CAPTION", "WS_SYSMENU",
                             "WS_MINIMIZEBOX", "EXSTYLE WS_EX_CLIENTEDGE", "FONT 10, \"System\"",
                             "LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED"})
        EXPECT_NE(rc.find(part), std::string::npos) << part;

    const std::regex text(
        R"re(^\s*(DEFPUSHBUTTON|PUSHBUTTON|LTEXT)\s+"((?:[^"]|"")*)",(\w+|-1),(\d+),(\d+),(\d+),(\d+))re");
    const std::regex edit(R"(^\s*EDITTEXT\s+(\w+),(\d+),(\d+),(\d+),(\d+)(?:,(.*))?)");
    std::istringstream lines(rc);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (std::regex_search(line, m, text)) {
            Control c{m[3],
                      m[1] == "LTEXT" ? Label : Button,
                      std::stoi(m[4]),
                      std::stoi(m[5]),
                      std::stoi(m[6]),
                      std::stoi(m[7]),
                      Unescape(m[2], true),
                      m[1] == "DEFPUSHBUTTON" ? kDefault : kNone};
            if (c.id == "IDC_STATIC") c.id = "-1";
            controls.push_back(c);
        } else if (std::regex_search(line, m, edit)) {
            const std::string style = m[6];
            int flags = kNone;
            if (style.find("ES_READONLY") != std::string::npos) flags |= kReadOnly;
            if (style.find("WS_DISABLED") != std::string::npos) flags |= kDisabled;
            // The remarks: several lines, scrolled, Enter stays in the field.
            if (style.find("ES_MULTILINE") != std::string::npos &&
                style.find("ES_AUTOVSCROLL") != std::string::npos &&
                style.find("ES_WANTRETURN") != std::string::npos)
                flags |= kMultiLine;
            controls.push_back({m[1], Edit, std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]),
                                std::stoi(m[5]), "", flags});
        }
    }
    return controls;
}

std::vector<Control> ControlsOfForm() {
    const std::string ui = ReadSource("reservation/reservationDialog.ui");
    std::vector<Control> controls;
    // Direct children of the dialog, in creation order: each starts at a
    // two-blank indent.
    const std::regex widget(R"re(\n  <widget class="(\w+)" name="(\w+)">)re");
    std::vector<std::pair<std::size_t, std::smatch>> starts;
    for (auto it = std::sregex_iterator(ui.begin(), ui.end(), widget); it != std::sregex_iterator();
         ++it)
        starts.push_back({static_cast<std::size_t>(it->position()), *it});
    static const std::regex rect(
        R"(<x>(\d+)</x>\s*<y>(\d+)</y>\s*<width>(\d+)</width>\s*<height>(\d+)</height>)");
    static const std::regex textProp(R"(<property name="text">\s*<string>([^<]*)</string>)");
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::size_t end = i + 1 < starts.size() ? starts[i + 1].first : ui.size();
        const std::string body = ui.substr(starts[i].first, end - starts[i].first);
        const std::string cls = starts[i].second[1], name = starts[i].second[2];
        std::smatch m;
        EXPECT_TRUE(std::regex_search(body, m, rect)) << name;
        Control c{};
        c.id = name == "IDOK" || name == "IDCANCEL" ? name
               : name.rfind("IDC_", 0) == 0         ? name.substr(4)
                                                    : "-1";
        c.kind = cls == "QPushButton" ? Button : cls == "QLabel" ? Label : Edit;
        c.x = std::stoi(m[1]) / 2;
        c.y = std::stoi(m[2]) / 2;
        c.w = std::stoi(m[3]) / 2;
        c.h = std::stoi(m[4]) / 2;
        if (std::regex_search(body, m, textProp)) c.text = Unescape(m[1], false);
        auto has = [&](const std::string& property, const char* value) {
            const std::regex pattern("<property name=\"" + property + "\">\\s*<bool>" + value);
            return std::regex_search(body, pattern);
        };
        if (has("readOnly", "true")) c.flags |= kReadOnly;
        if (has("enabled", "false")) c.flags |= kDisabled;
        if (has("default", "true")) c.flags |= kDefault;
        // The form's remarks field is a top-aligned single QLineEdit of the
        // template's multi-line height; what Qt cannot say, the table says.
        if (c.id == "1049") c.flags |= kMultiLine;
        controls.push_back(c);
    }
    return controls;
}

void ExpectLayout(const std::vector<Control>& actual, const char* source) {
    const std::vector<Control>& expected = Layout();
    ASSERT_EQ(actual.size(), 34u) << source;
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(Describe(actual[i]), Describe(expected[i])) << source << ", control " << i;
}

TEST(DialogLayout, TheWindowsTemplateIsTheTable) {
    ExpectLayout(ControlsOfTemplate(), "reservationDialog.rc");
}

TEST(DialogLayout, TheQtFormIsTheTable) { ExpectLayout(ControlsOfForm(), "reservationDialog.ui"); }

}  // namespace
