#pragma once
// Every text the window shows the operator in a message box.

#include <QString>

namespace msg {

inline QString windowCaption() { return QStringLiteral("配置软件V1.5"); }

// Connection and status poll
inline QString portOpenFailed() { return QStringLiteral("打开串口失败，请检查串口设置！"); }
inline QString probeUnanswered() { return QStringLiteral("设备未连接或设备初始化尚未完成，请稍后重试！"); }
inline QString linkTimedOut() { return QStringLiteral("设备链接超时，请检查设备是否链接正常"); }

// Reading
inline QString readSucceeded() { return QStringLiteral("读取短信报警控制器参数成功！"); }
inline QString readFailed() { return QStringLiteral("读取短信报警控制器参数失败，请检查设备连接！"); }
inline QString relayCommandsRead() { return QStringLiteral("读取继电器命令成功！"); }

// Writing
inline QString connectFirst() { return QStringLiteral("请链接设备"); }
inline QString passwordTooLong() { return QStringLiteral("密码长度不能超过6！"); }
inline QString commandTooLong() { return QStringLiteral("命令长度必须小于20！"); }
inline QString slotTextTooLong() { return QStringLiteral("报警短信和手机号码不能超过40字节！"); }
inline QString unsendableCharacter() { return QStringLiteral("包含无法发送的字符，请修改后重试！"); }
inline QString actionTimeOutOfRange() { return QStringLiteral("动作时间必须在-32768到32767之间！"); }
inline QString writeSucceeded() { return QStringLiteral("短信报警控制器参数设置成功！"); }
inline QString writeFailed() { return QStringLiteral("参数设置失败，请检查设备连接！"); }

// Phone list
inline QString phoneListFull() { return QStringLiteral("手机号码设置最多数量为5！"); }
inline QString choosePhone() { return QStringLiteral("请选择手机号码！"); }

} // namespace msg
