#pragma once
// Every text the window shows the operator: its message boxes and the port
// information line below the relay frame.

#include <QCoreApplication>
#include <QString>

namespace msg {

inline QString windowCaption() { return QStringLiteral("配置软件V1.5"); }

// Connection and status poll
inline QString portOpenFailed() { return QStringLiteral("打开串口失败，请检查串口设置！"); }
// The second line of portOpenFailed: the device and what is wrong with it.
inline QString portNotADevice(const QString &text) { return QStringLiteral("%1：不是串口设备").arg(text); }
inline QString portNothingBehind(const QString &port) { return QStringLiteral("%1：没有对应的串口设备").arg(port); }
inline QString portMissing(const QString &device) { return QStringLiteral("%1：设备不存在（是否已拔出？）").arg(device); }
inline QString portNoPermission(const QString &device) { return QStringLiteral("%1：没有权限打开。").arg(device); }
inline QString portBusy(const QString &device) { return QStringLiteral("%1：串口正被其他程序占用。").arg(device); }
inline QString portNoDriver(const QString &device, const QString &text)
{
    return QStringLiteral("%1：系统找到了串口，但没有能驱动它的程序（%2）。").arg(device, text);
}
// What to do, after the cause; which advice a cause gets depends on the platform (SerialLine::adviceFor).
inline QString adviceJoinDialoutGroup()
{
    return QStringLiteral("请将用户加入 dialout 组（sudo usermod -aG dialout $USER），然后注销并重新登录，新的组才会生效。");
}
inline QString adviceCloseOtherProgram()
{
    return QStringLiteral("请关闭正在使用它的程序（例如另一个配置软件或串口调试工具），然后重试。");
}
inline QString adviceInstallAdapterDriver()
{
    return QStringLiteral("请安装USB串口适配器厂家的驱动程序（CH340、PL2303、CP210x、FTDI 在较旧的 Windows 上都需要），"
                          "然后拔下适配器再插上。");
}
// holder: "alarmcfg (pid 812)", or empty when the system does not tell.
inline QString portLockedByCopy(const QString &device, const QString &holder)
{
    return holder.isEmpty() ? QStringLiteral("%1：另一个配置软件正在使用这个串口，请先在那里断开连接。").arg(device)
                            : QStringLiteral("%1：另一个配置软件（%2）正在使用这个串口，请先在那里断开连接。").arg(device, holder);
}
inline QString portMarkedExclusive(const QString &device, const QString &holders)
{
    return QStringLiteral("%1：串口被标记为独占使用，打开它的程序：%2。").arg(device, holders);
}
// A mark without any program that uses the line exclusively: left behind by
// a program that ended while another one kept the line open.
inline QString portMarkLeftBehind()
{
    return QStringLiteral("没有配置软件在使用它。如果上面的程序并不独占这个串口，这个标记就是一个已退出的程序留下的，"
                          "会一直保留到上面的程序都关闭这个串口（USB 适配器可以拔下再插上）。");
}
inline QString portModemManagerHint()
{
    return QStringLiteral("ModemManager 会探测新插入的 USB 串口，brltty 会占用某些 USB 串口芯片。");
}
inline QString portSystemError(const QString &device, const QString &text) { return QStringLiteral("%1：%2").arg(device, text); }
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
// characters: each one that cannot be sent, those that show nothing as "U+0000".
inline QString unsendableCharacter(const QString &characters)
{
    return QStringLiteral("包含无法发送的字符：%1，请修改后重试！").arg(characters);
}
inline QString actionTimeOutOfRange() { return QStringLiteral("动作时间必须在-32768到32767之间！"); }
// Reading splits every command at "*", so a "*" inside one would break it.
// field: the window's name for it, from the field table.
inline QString holdsPasswordSeparator(const QString &field) { return QStringLiteral("%1不能包含字符“*”！").arg(field); }
inline QString phoneNotANumber(int position, const QString &entry)
{
    return QStringLiteral("第%1个手机号码“%2”只能由数字0-9和开头的“+”组成！").arg(position).arg(entry);
}
inline QString writeSucceeded() { return QStringLiteral("短信报警控制器参数设置成功！"); }
inline QString writeFailed() { return QStringLiteral("参数设置失败，请检查设备连接！"); }

// Configuration files
inline QString configExported(const QString &path) { return QStringLiteral("配置已导出到：\n%1").arg(path); }
inline QString exportedAsShown(const QString &fields)
{
    return QStringLiteral("以下文字在设备中比显示的更长，只导出了显示的部分：%1。\n用命令行 alarmcfg-cli read 可以读出全文。")
        .arg(fields);
}
inline QString configNotSaved(const QString &path, const QString &error)
{
    return QStringLiteral("配置文件保存失败：\n%1\n%2\n原有的文件没有改动。").arg(path, error);
}
inline QString configRefused(const QString &path, const QString &problems)
{
    return QStringLiteral("配置文件无法导入，窗口中的内容没有改动：\n%1\n\n%2").arg(path, problems);
}
inline QString configImported() { return QStringLiteral("配置已导入，尚未写入设备。\n请按“设置”把配置写入设备。"); }
inline QString listSeparator() { return QStringLiteral("、"); }
inline QString configFileFilter() { return QStringLiteral("配置文件 (*.json);;所有文件 (*)"); }
// What is wrong with a file, one line each after the field it names.
inline QString fileCannotBeRead(const QString &error) { return QStringLiteral("无法读取文件（%1）").arg(error); }
inline QString fileTooLarge() { return QStringLiteral("文件大于1 MiB，不是配置文件"); }
inline QString fileNotJson(const QString &error) { return QStringLiteral("不是有效的JSON（%1）").arg(error); }
inline QString fileNotAnObject() { return QStringLiteral("内容不是一个JSON对象"); }
inline QString fileWrongFormat(const QString &format) { return QStringLiteral("不是本软件的配置文件（format为“%1”）").arg(format); }
inline QString fileVersionMissing() { return QStringLiteral("缺少版本号"); }
inline QString fileVersionTooNew(const QString &version) { return QStringLiteral("版本%1比本软件能读的版本1新").arg(version); }
inline QString fileUnknownKey() { return QStringLiteral("未知的项（拼写错误？）"); }
inline QString fileMissingKey() { return QStringLiteral("缺少此项"); }
inline QString fileWrongType(const QString &expected) { return QStringLiteral("类型或取值不对，应为：%1").arg(expected); }
inline QString fileTooManyPhones(const QString &count) { return QStringLiteral("有%1个手机号码，最多5个").arg(count); }
inline QString fileDuplicateKey() { return QStringLiteral("此项出现了不止一次，无法确定用哪一个"); }
// kind: what stands at the path instead of a regular file (fileKind… below).
inline QString fileNotRegular(const QString &kind) { return QStringLiteral("这是%1，不是普通文件，没有读取").arg(kind); }
// Why 导出配置 left a path as it was.
inline QString saveNotRegular(const QString &kind)
{
    return QStringLiteral("这是%1，不是普通文件也不是字符设备，不能用配置文件替换").arg(kind);
}
inline QString saveDanglingLink(const QString &target)
{
    return QStringLiteral("这是指向 %1 的符号链接，但它指向的文件不存在").arg(target);
}
inline QString fileKindFolder() { return QStringLiteral("文件夹"); }
inline QString fileKindCharacterDevice() { return QStringLiteral("字符设备"); }
inline QString fileKindBlockDevice() { return QStringLiteral("块设备"); }
inline QString fileKindFifo() { return QStringLiteral("命名管道（FIFO）"); }
inline QString fileKindSocket() { return QStringLiteral("套接字"); }
inline QString fileKindUnknown() { return QStringLiteral("无法识别类型的文件"); }

// The hand-over sheet
inline QString sheetFileFilter() { return QCoreApplication::translate("msg", "PDF 文件 (*.pdf)"); }
// A text read only in part is on the sheet as the window shows it.
inline QString sheetShowsPart(const QString &fields)
{
    return QCoreApplication::translate("msg", "以下文字在设备中比显示的更长，交接单上只有显示的部分：%1。\n"
                                              "用命令行 alarmcfg-cli sheet -p 端口 可以得到全文。")
        .arg(fields);
}
inline QString sheetSavedOpenIt(const QString &path, const QString &note)
{
    return QCoreApplication::translate("msg", "交接单已保存到：\n%1%2\n\n现在打开它吗？").arg(path, note);
}
inline QString sheetNotSaved(const QString &path, const QString &error)
{
    return QCoreApplication::translate("msg", "交接单保存失败：\n%1\n%2\n原有的文件没有改动。").arg(path, error);
}
inline QString sheetNotOpened(const QString &path)
{
    return QCoreApplication::translate("msg", "没有找到打开PDF文件的程序：\n%1").arg(path);
}

// A text read only in part: the device holds more than the 20 bytes read.
inline QString textLongerOnDevice()
{
    return QStringLiteral("设备中的这段文字比显示的更长（只读出了前20个字节）。\n不修改它，写入时设备中的全文保持不变。");
}

// Phone list
inline QString phoneListFull() { return QStringLiteral("手机号码设置最多数量为5！"); }
inline QString choosePhone() { return QStringLiteral("请选择手机号码！"); }

// The port information line: which device the chosen entry or the typed text is.
inline QString portByEnvironment(const QString &variable) { return QStringLiteral("由环境变量 %1 指定").arg(variable); }
inline QString portBySavedPin() { return QStringLiteral("已保存的分配"); }
inline QString portBuiltIn() { return QStringLiteral("主板串口"); }
inline QString portOfSystem() { return QStringLiteral("Windows 串口"); }
inline QString portNewlyAssigned() { return QStringLiteral("新分配，已保存"); }
inline QString portAssignedUnsaved() { return QStringLiteral("临时分配，未保存"); }
inline QString portTyped() { return QStringLiteral("手动输入"); }
inline QString portSerialNumber(const QString &serial) { return QStringLiteral("序列号 %1").arg(serial); }
inline QString portNotPresent() { return QStringLiteral("该设备不存在"); }
inline QString portNoDevice() { return QStringLiteral("没有串口设备"); }
inline QString portPinnedAbsent() { return QStringLiteral("已保存的适配器未插入"); }
inline QString portNotADeviceName() { return QStringLiteral("不是串口设备名"); }

} // namespace msg
