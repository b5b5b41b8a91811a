#include "res/Resources.h"

#include <map>

namespace res {

using namespace platform;

namespace {

constexpr DialogStyles ModalDialog = DlgPopup | DlgCaption | DlgSysMenu | DlgModalFrame;
constexpr ControlStyles ListStyles = Border | TabStop;
constexpr ControlStyles KeyComboStyles = Sorted | TabStop;

const QString ShellFont = QStringLiteral("MS Shell Dlg");

ControlTemplate label(const QString &text, int x, int y, int w, int h, ControlStyles styles = NoStyle)
{
    return ControlTemplate{IDC_STATIC, ControlKind::Static, text, QRect(x, y, w, h), styles};
}

ControlTemplate group(int id, const QString &text, int x, int y, int w, int h)
{
    return ControlTemplate{id, ControlKind::GroupBox, text, QRect(x, y, w, h), NoStyle};
}

ControlTemplate ctl(int id, ControlKind kind, const QString &text, int x, int y, int w, int h,
                    ControlStyles styles = TabStop)
{
    return ControlTemplate{id, kind, text, QRect(x, y, w, h), styles};
}

ControlTemplate button(int id, const QString &text, int x, int y, int w, int h,
                       ControlStyles styles = TabStop)
{
    return ctl(id, ControlKind::PushButton, text, x, y, w, h, styles);
}

ControlTemplate edit(int id, int x, int y, int w, int h, ControlStyles styles = TabStop | AutoHScroll)
{
    return ctl(id, ControlKind::Edit, QString(), x, y, w, h, styles);
}

ControlTemplate virtualList(int id, int x, int y, int w, int h)
{
    return ctl(id, ControlKind::VirtualList, QString(), x, y, w, h, ListStyles);
}

DialogTemplate about()
{
    return DialogTemplate{AboutDialog,
                          QStringLiteral("关于 Kestrel"),
                          QSize(170, 62),
                          ShellFont,
                          8,
                          ModalDialog,
                          {
                              ctl(IDC_STATIC, ControlKind::Icon, QString(), 14, 14, 21, 20, NoStyle),
                              label(QStringLiteral("Kestrel 1.0 版"), 42, 14, 114, 8, NoPrefix | SingleLine),
                              button(IDOK, QStringLiteral("确定"), 113, 41, 50, 14, DefaultButton | TabStop),
                          }};
}

DialogTemplate mainWindow()
{
    return DialogTemplate{MainDialog,
                          QStringLiteral("Vorlant-高阶版"),
                          QSize(659, 351),
                          QStringLiteral("宋体"),
                          9,
                          DlgPopup | DlgVisible | DlgCaption | DlgSysMenu | DlgMinimizeBox | DlgModalFrame |
                              DlgAppWindow,
                          {
                              ctl(1001, ControlKind::ReportList, QString(), 7, 32, 380, 274, ListStyles),
                              virtualList(1002, 388, 32, 264, 274),
                              group(IDC_STATIC, QStringLiteral("广告监控管理"), 7, 308, 138, 39),
                              button(1003, QStringLiteral("添  加"), 10, 320, 41, 17),
                              button(1004, QStringLiteral("修  改"), 56, 320, 42, 17),
                              button(1005, QStringLiteral("删  除"), 101, 320, 41, 17),
                              group(IDC_STATIC, QStringLiteral("Vorlant(广告查询工具)"), 145, 308, 106, 39),
                              button(1006, QStringLiteral("点 击 进 入"), 169, 320, 56, 17),
                              group(IDC_STATIC, QStringLiteral("发布站采集状态"), 251, 308, 83, 39),
                              button(1007, QStringLiteral("点 击 查 看"), 265, 320, 56, 17),
                              ctl(1015, ControlKind::Static, QString(), 8, 5, 517, 8, SingleLine | NoPrefix),
                              button(1016, QStringLiteral("点击打开链接"), 595, 2, 57, 14),
                              ctl(1017, ControlKind::Browser, QString(), 335, 306, 317, 41, NoStyle),
                              group(IDC_STATIC, QStringLiteral("监控网址列表"), 7, 18, 380, 288),
                              group(1019, QStringLiteral("当前选择"), 387, 18, 265, 288),
                          }};
}

DialogTemplate domainEdit()
{
    return DialogTemplate{
        DomainEditDialog,
        QStringLiteral("管理"),
        QSize(299, 194),
        ShellFont,
        8,
        ModalDialog,
        {
            label(QStringLiteral("监控的网址："), 14, 21, 52, 9),
            edit(1004, 67, 19, 215, 13),
            label(QStringLiteral("备注："), 14, 39, 28, 9),
            edit(1005, 67, 37, 72, 13),
            label(QStringLiteral("提醒方式："), 14, 56, 52, 9),
            ctl(1006, ControlKind::ComboBox, QString(), 67, 55, 56, 20, DropDownList | TabStop),
            label(QStringLiteral("QQ邮箱："), 126, 57, 37, 9),
            edit(1011, 168, 55, 114, 13, ReadOnly | AutoHScroll | TabStop),
            label(QStringLiteral("QQ邮箱默认为注册时候填写的QQ对应邮箱。如需修改请联系客服。为防止骚扰邮件，"
                                 "只能修改成和客服对话的QQ"
                                 "对应的邮箱。每月或者每次续费可以改一次。"),
                  14, 72, 270, 24),
            ctl(1014, ControlKind::CheckBox, QStringLiteral("只今明后(只监控今天和明天后天的广告)"), 14, 100,
                158, 10),
            label(
                QStringLiteral("日期比较靠后的广告发布站会根据流量策略选择性显示.可能会造成频繁推送广告变更. "
                               "选择后依然可以通过Vorlant手动查询后面的广告."),
                13, 113, 270, 18),
            button(1026, QStringLiteral("选择监控的发布站"), 7, 143, 71, 14),
            button(IDOK, QStringLiteral("确  认"), 242, 168, 50, 16, DefaultButton | TabStop),
        }};
}

DialogTemplate login()
{
    return DialogTemplate{
        LoginDialog,
        QStringLiteral("Vorlant-高阶版 登陆v12.4"),
        QSize(186, 105),
        ShellFont,
        8,
        ModalDialog,
        {
            label(QStringLiteral("用户名："), 21, 14, 33, 8),
            edit(1009, 60, 10, 101, 14),
            label(QStringLiteral("密码："), 21, 34, 25, 8),
            // The password is shown as typed.
            edit(1010, 60, 32, 101, 14),
            button(IDOK, QStringLiteral("会员登录"), 7, 50, 50, 14, DefaultButton | TabStop),
            button(3, QStringLiteral("联系客服"), 67, 50, 50, 14),
            button(1013, QStringLiteral("账号申请"), 128, 50, 50, 14),
        }};
}

DialogTemplate accountAdd()
{
    return DialogTemplate{AccountAddDialog,
                          QStringLiteral("创建账号"),
                          QSize(245, 125),
                          ShellFont,
                          8,
                          ModalDialog,
                          {
                              label(QStringLiteral("用户名:"), 33, 22, 28, 9),
                              edit(1003, 83, 20, 134, 12),
                              label(QStringLiteral("密码:"), 34, 42, 29, 10),
                              edit(1004, 83, 40, 134, 12),
                              label(QStringLiteral("密码重复:"), 33, 62, 39, 11),
                              edit(1005, 83, 60, 134, 12),
                              label(QStringLiteral("QQ:"), 35, 83, 24, 9),
                              edit(1007, 83, 81, 134, 12, DigitsOnly | AutoHScroll | TabStop),
                              button(IDCANCEL, QStringLiteral("取消"), 24, 98, 50, 14),
                              button(IDOK, QStringLiteral("确定"), 183, 98, 50, 14, DefaultButton | TabStop),
                          }};
}

DialogTemplate siteStatus()
{
    return DialogTemplate{SiteStatusDialog, QStringLiteral("发布站信息"),       QSize(506, 354), ShellFont, 8,
                          ModalDialog,      {virtualList(1008, 8, 3, 489, 350)}};
}

DialogTemplate adSearch()
{
    return DialogTemplate{
        AdSearchDialog,
        QStringLiteral("Vorlant--闪电般的速度，不一样的感觉。"),
        QSize(932, 455),
        ShellFont,
        8,
        DlgPopup | DlgCaption | DlgSysMenu | DlgMinimizeBox | DlgAppWindow,
        {
            label(QStringLiteral("关键字(多个用\\分割)："), 7, 9, 77, 8),
            button(1012, QStringLiteral("帮 助"), 83, 7, 38, 13),
            ctl(1015, ControlKind::ComboBox, QString(), 124, 7, 405, 35, KeyComboStyles),
            button(1011, QStringLiteral("选择查询的发布站"), 540, 6, 71, 14),
            label(QStringLiteral("选择日期:"), 619, 9, 40, 8),
            ctl(1033, ControlKind::ComboBox, QString(), 664, 7, 48, 30, KeyComboStyles),
            label(QStringLiteral("选择时间:"), 718, 9, 40, 8),
            ctl(1034, ControlKind::ComboBox, QString(), 763, 7, 48, 30, KeyComboStyles),
            button(1006, QStringLiteral("点击查询"), 816, 6, 109, 14, DefaultButton | TabStop),
            virtualList(1018, 7, 23, 184, 410),
            virtualList(1010, 192, 23, 736, 410),
            button(1009, QStringLiteral("发布站采集状态"), 9, 436, 71, 14),
            button(1035, QStringLiteral("跳转查询"), 98, 436, 71, 14),
            button(1036, QStringLiteral("历史广告查询"), 186, 436, 71, 14),
            edit(1004, 452, 436, 139, 14, ReadOnly | AlignCenter | TabStop),
            button(1008, QStringLiteral("更多数据"), 594, 436, 50, 14),
        }};
}

DialogTemplate adDetail()
{
    return DialogTemplate{AdDetailDialog,
                          QStringLiteral("广告明细，三分钟同步一次。如需实时查询，可以使用Vorlant"),
                          QSize(803, 296),
                          ShellFont,
                          8,
                          ModalDialog,
                          {virtualList(1010, 7, 7, 789, 284)}};
}

DialogTemplate searchHelp()
{
    const QString text = QStringLiteral("1.可以输入全网址:如 http://www.example.com\n"
                                        "\n"
                                        "2.可以输入域名:如 example.com\n"
                                        "\n"
                                        "3.可以输入模糊内容:如 中变 轻变 也可以输入 复古\n"
                                        "\n"
                                        "4.可以多条件输入\n"
                                        "输入:\"1.76\\合击\" 可查出同时包含1.76和合击的广告。\n"
                                        "输入:\"1.76\\合击\\03/26 10:30\" "
                                        "可查找出3月26号早上10点30分的同时包含1.76和合击的广告。");
    return DialogTemplate{SearchHelpDialog,
                          QStringLiteral("搜索帮助"),
                          QSize(223, 111),
                          ShellFont,
                          8,
                          ModalDialog,
                          {label(text, 7, 7, 209, 97, NoPrefix)}};
}

// The two site lists and the four buttons between them, shared by 140 and 145.
void addSiteLists(std::vector<ControlTemplate> &controls, int top)
{
    constexpr ControlStyles SiteList = Sorted | MultipleSel | Notify | Border | TabStop;
    controls.push_back(ctl(1019, ControlKind::ListBox, QString(), 21, top, 164, 198, SiteList));
    controls.push_back(ctl(1025, ControlKind::ListBox, QString(), 275, top, 164, 198, SiteList));
    controls.push_back(button(1024, QStringLiteral("添加(&A) ->"), 205, top + 25, 50, 14));
    controls.push_back(button(1021, QStringLiteral("<- 移除(&D) "), 205, top + 69, 50, 14));
    controls.push_back(button(1023, QStringLiteral("全部添加(&I)"), 205, top + 108, 50, 14));
    controls.push_back(button(1022, QStringLiteral("全部移除(&R)"), 205, top + 147, 50, 14));
}

DialogTemplate selectSites()
{
    DialogTemplate tpl{
        SelectSitesDialog, QStringLiteral("发布站选择"), QSize(461, 248), ShellFont, 8, ModalDialog, {}};
    addSiteLists(tpl.controls, 19);
    tpl.controls.push_back(button(IDOK, QStringLiteral("确定"), 389, 227, 50, 14, DefaultButton | TabStop));
    tpl.controls.push_back(button(IDCANCEL, QStringLiteral("取消"), 324, 227, 50, 14));
    return tpl;
}

DialogTemplate configName()
{
    return DialogTemplate{ConfigNameDialog,
                          QStringLiteral("新建发布站列表配置"),
                          QSize(253, 57),
                          ShellFont,
                          8,
                          ModalDialog,
                          {
                              label(QStringLiteral("配置名字："), 7, 18, 44, 8),
                              edit(1030, 53, 15, 193, 14),
                              button(IDOK, QStringLiteral("确定"), 142, 36, 50, 14, DefaultButton | TabStop),
                              button(IDCANCEL, QStringLiteral("取消"), 196, 36, 50, 14),
                          }};
}

DialogTemplate siteSetting()
{
    DialogTemplate tpl{
        SiteSettingDialog,
        QStringLiteral("发布站设置"),
        QSize(461, 261),
        ShellFont,
        8,
        ModalDialog,
        {
            group(1015, QStringLiteral("配置管理"), 7, 4, 447, 31),
            label(QStringLiteral("当前配置："), 20, 17, 36, 8),
            ctl(1028, ControlKind::ComboBox, QString(), 66, 16, 118, 20, DropDownList | TabStop),
            button(1029, QStringLiteral("新建..."), 204, 14, 50, 14),
            button(1027, QStringLiteral("改名..."), 272, 14, 50, 14),
            button(1030, QStringLiteral("删除"), 338, 14, 50, 14),
            group(IDC_STATIC, QStringLiteral("当前配置发布站"), 7, 30, 447, 224),
        }};
    addSiteLists(tpl.controls, 45);
    return tpl;
}

// Redirect and history searches share one layout.
DialogTemplate keySearch(int id, const QString &caption)
{
    return DialogTemplate{
        id,
        caption,
        QSize(660, 353),
        ShellFont,
        8,
        ModalDialog,
        {
            label(QStringLiteral("完整网址或者域名："), 7, 9, 74, 8),
            ctl(1015, ControlKind::ComboBox, QString(), 83, 8, 500, 35, KeyComboStyles),
            button(1006, QStringLiteral("点击查询"), 590, 7, 66, 14, DefaultButton | TabStop),
            virtualList(1010, 7, 22, 643, 310),
            edit(1004, 221, 334, 139, 14, ReadOnly | AlignCenter | TabStop),
            button(1008, QStringLiteral("更多数据"), 366, 334, 50, 14),
        }};
}

const std::map<int, DialogTemplate> &dialogs()
{
    static const std::map<int, DialogTemplate> all = [] {
        std::map<int, DialogTemplate> m;
        for (DialogTemplate tpl : {about(), mainWindow(), domainEdit(), login(), accountAdd(), siteStatus(),
                                   adSearch(), adDetail(), searchHelp(), selectSites(), configName(),
                                   siteSetting(), keySearch(ForwardSearchDialog, QStringLiteral("跳转查询")),
                                   keySearch(HistorySearchDialog, QStringLiteral("历史广告查询"))})
            m.emplace(tpl.id, std::move(tpl));
        return m;
    }();
    return all;
}

} // namespace

const DialogTemplate *findDialog(int id)
{
    const auto it = dialogs().find(id);
    return it == dialogs().end() ? nullptr : &it->second;
}

const DialogTemplate &dialog(int id)
{
    static const DialogTemplate empty;
    const DialogTemplate *tpl = findDialog(id);
    Q_ASSERT_X(tpl, "res::Dialog", "unknown dialog template");
    return tpl ? *tpl : empty;
}

std::vector<int> DialogIds()
{
    std::vector<int> ids;
    for (const auto &[id, tpl] : dialogs())
        ids.push_back(id);
    return ids;
}

} // namespace res
