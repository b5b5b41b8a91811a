#include "account/dialogs/AccountChecks.h"

#include "webproto/WebProtocol.h"

namespace {

const QString kLettersAndDigits =
    QStringLiteral("qwertyuiopasdfghjklzxcvbnmQWERTYUIOPASDFGHJKLZXCVBNM1234567890");
const QString kDigits = QStringLiteral("1234567890");

bool onlyFrom(const QString &text, const QString &allowed)
{
    for (QChar c : text) {
        if (!allowed.contains(c))
            return false;
    }
    return true;
}

} // namespace

QString checkNewAccount(const NewAccountInput &in)
{
    if (in.userName.isEmpty() || in.password.isEmpty() || in.passwordRepeated.isEmpty() || in.qq.isEmpty())
        return QStringLiteral("输入有误，请确认！");
    if (in.password != in.passwordRepeated)
        return QStringLiteral("两次输入密码不一致，请重新输入！");
    if (in.qq == kQqHint)
        return QStringLiteral("QQ输入不正确请确认！");
    if (in.qq.size() < 5 || !onlyFrom(in.qq, kDigits))
        return QStringLiteral("QQ号码必须为全数字！");
    if (!onlyFrom(in.userName, kLettersAndDigits))
        return QStringLiteral("账号必须以英文字母和数字组成！");
    if (in.userName.size() > 10)
        return QStringLiteral("账号长度不能大于10位！");
    if (in.password.size() > 10)
        return QStringLiteral("密码长度不能大于10位！");
    if (in.userName == in.password)
        return QStringLiteral("账号密码不能一样！");
    return {};
}

QString accountAddRequest(const NewAccountInput &in, qint64 unixSeconds)
{
    return WebProtocol::target(WebProtocol::Path::AccountAdd,
                               WebProtocol::accountAddQuery(in.userName, in.password, in.qq, unixSeconds));
}

QString accountAddProblem(const std::optional<QString> &reply)
{
    if (!reply)
        return QStringLiteral("连接服务器失败，请稍后再试！");
    if (*reply != QStringLiteral("0"))
        return QStringLiteral("账号已存在或其他未知错误！");
    return {};
}
