#pragma once
// Every text the window shows the operator: its message boxes and the port
// information line below the relay frame. Each goes through the catalogues
// (context "msg"); the limits they name come from the field table.

#include "ConfigFile.h"
#include "FieldTable.h"

#include <QCoreApplication>
#include <QString>

namespace msg {

inline QString windowCaption() { return QCoreApplication::translate("msg", "配置软件V1.5"); }

// Connection and status poll
inline QString portOpenFailed() { return QCoreApplication::translate("msg", "打开串口失败，请检查串口设置！"); }
// The second line of portOpenFailed: the device and what is wrong with it.
inline QString portNotADevice(const QString &text) { return QCoreApplication::translate("msg", "%1：不是串口设备").arg(text); }
inline QString portNothingBehind(const QString &port) { return QCoreApplication::translate("msg", "%1：没有对应的串口设备").arg(port); }
inline QString portMissing(const QString &device) { return QCoreApplication::translate("msg", "%1：设备不存在（是否已拔出？）").arg(device); }
inline QString portNoPermission(const QString &device) { return QCoreApplication::translate("msg", "%1：没有权限打开。").arg(device); }
inline QString portBusy(const QString &device) { return QCoreApplication::translate("msg", "%1：串口正被其他程序占用。").arg(device); }
inline QString portNoDriver(const QString &device, const QString &text)
{
    return QCoreApplication::translate("msg", "%1：系统找到了串口，但没有能驱动它的程序（%2）。").arg(device, text);
}
// What to do, after the cause: the remedy of its class (failure::classify), which
// for some causes depends on the platform.
inline QString adviceJoinDialoutGroup()
{
    return QCoreApplication::translate("msg", "请将用户加入 dialout 组（sudo usermod -aG dialout $USER），然后注销并重新登录，新的组才会生效。");
}
inline QString adviceCloseOtherProgram()
{
    return QCoreApplication::translate("msg", "请关闭正在使用它的程序（例如另一个配置软件或串口调试工具），然后重试。");
}
inline QString adviceInstallAdapterDriver()
{
    return QCoreApplication::translate("msg", "请安装USB串口适配器厂家的驱动程序（CH340、PL2303、CP210x、FTDI 在较旧的 Windows 上都需要），"
                                              "然后拔下适配器再插上。");
}
// holder: "alarmcfg (pid 812)", or empty when the system does not tell.
inline QString portLockedByCopy(const QString &device, const QString &holder)
{
    return holder.isEmpty() ? QCoreApplication::translate("msg", "%1：另一个配置软件正在使用这个串口。").arg(device)
                            : QCoreApplication::translate("msg", "%1：另一个配置软件（%2）正在使用这个串口。").arg(device, holder);
}
inline QString adviceDisconnectOtherCopy() { return QCoreApplication::translate("msg", "请先在那里断开连接。"); }
inline QString portMarkedExclusive(const QString &device, const QString &holders)
{
    return QCoreApplication::translate("msg", "%1：串口被标记为独占使用，打开它的程序：%2。").arg(device, holders);
}
// A mark without any program that uses the line exclusively: left behind by
// a program that ended while another one kept the line open.
inline QString portMarkLeftBehind()
{
    return QCoreApplication::translate("msg", "没有配置软件在使用它。如果上面的程序并不独占这个串口，这个标记就是一个已退出的程序留下的，"
                                              "会一直保留到上面的程序都关闭这个串口（USB 适配器可以拔下再插上）。");
}
inline QString portModemManagerHint()
{
    return QCoreApplication::translate("msg", "ModemManager 会探测新插入的 USB 串口，brltty 会占用某些 USB 串口芯片。");
}
inline QString portSystemError(const QString &device, const QString &text) { return QCoreApplication::translate("msg", "%1：%2").arg(device, text); }
// A port behind a serial device server; server: "192.168.1.20:4001".
inline QString portNoSuchHost(const QString &server) { return QCoreApplication::translate("msg", "%1：找不到这个主机名。").arg(server); }
inline QString portConnectionRefused(const QString &server)
{
    return QCoreApplication::translate("msg", "%1：连接被拒绝，服务器的这个端口上没有服务。").arg(server);
}
inline QString portUnreachable(const QString &server) { return QCoreApplication::translate("msg", "%1：网络不通，无法到达服务器。").arg(server); }
inline QString portConnectTimedOut(const QString &server, int seconds)
{
    return QCoreApplication::translate("msg", "%1：%2 秒内没有连接上服务器。").arg(server).arg(seconds);
}
inline QString portServerBusy(const QString &server)
{
    return QCoreApplication::translate("msg", "%1：串口服务器正忙：它同时只服务一个客户端，拒绝了这次连接。请先断开另一个客户端。").arg(server);
}
inline QString linkTimedOut() { return QCoreApplication::translate("msg", "设备链接超时，请检查设备是否链接正常"); }

// The line doctor: why the device did not answer, in one or two sentences,
// and what to do; the words of each verdict (LineDiagnosis.h).
inline QString connectFailedBecause(const QString &why) { return QCoreApplication::translate("msg", "连接失败：%1").arg(why); }
// A connect that read everything, but only through many retries.
inline QString connectedButLineTroubled(const QString &why)
{
    return QCoreApplication::translate("msg", "已连接并读取了全部参数，但线路有问题：%1").arg(why);
}
// The failure box's button that runs the full scan, and the scan's progress.
inline QString fullScanButton() { return QCoreApplication::translate("msg", "全面检查"); }
inline QString scanningLine() { return QCoreApplication::translate("msg", "正在尝试其他速率和地址……"); }
inline QString stopScan() { return QCoreApplication::translate("msg", "停止"); }
// A box that offers the full scan ends with this.
inline QString scanOffered() { return QCoreApplication::translate("msg", "按“全面检查”可以尝试其他速率和地址（最多一分钟）。"); }
// The window shows it only after a failure: the device answers again.
inline QString verdictHealthy(const QString &firmware, int answered, int reads, int ms)
{
    return QCoreApplication::translate("msg", "设备现在回答正常（固件%1，%3次状态读取回答了%2次，平均%4毫秒），请再试一次。")
        .arg(firmware)
        .arg(answered)
        .arg(reads)
        .arg(ms);
}
inline QString verdictPortFailed(const QString &text)
{
    return QCoreApplication::translate("msg", "串口出错：%1。请检查USB串口适配器是否已拔出。").arg(text);
}
// format: "9600 8N1".
inline QString verdictNothingAt(const QString &format)
{
    return QCoreApplication::translate("msg", "在%1下，地址1没有任何回答。").arg(format);
}
inline QString verdictNothingAnywhere()
{
    return QCoreApplication::translate("msg", "在任何速率和地址上都没有回答（已尝试1200至115200波特的无、偶、奇校验，以及地址1至247）。");
}
// A tcp:// port: the server's serial line keeps its own rate.
inline QString verdictNothingAtAnyAddress(const QString &format)
{
    return QCoreApplication::translate("msg", "在%1下，地址1至247都没有回答；tcp:// 端口不能改变服务器串口的速率，其他速率没有尝试"
                                              "（请在服务器上设置，或改用 rfc2217://）。")
        .arg(format);
}
inline QString verdictScanStopped() { return QCoreApplication::translate("msg", "检查在尝试完所有速率和地址之前被停止了。"); }
inline QString adviceNoAnswer()
{
    return QCoreApplication::translate("msg", "请检查设备电源、电缆、转换器的A、B接线端子，以及是否选对了串口。");
}
// ports: the system's serial ports; newest: the one that appeared last.
inline QString verdictPorts(const QString &ports) { return QCoreApplication::translate("msg", "本机的串口：%1。").arg(ports); }
inline QString verdictNewestPort(const QString &port) { return QCoreApplication::translate("msg", "最后出现的是%1。").arg(port); }
inline QString verdictEchoOnly()
{
    return QCoreApplication::translate("msg", "只收到了本软件自己发出的请求（回声）：转换器工作正常，但它后面没有设备回答。"
                                              "请检查设备电源，以及从转换器的A、B到设备的A、B的两根线。");
}
inline QString verdictLinesSwappedAt(const QString &format)
{
    return QCoreApplication::translate("msg", "在%1下，线路上只传回了断路信号（0x00字节）或无法识别的字节，没有回答：A、B两线可能接反了，请对调这两根线。")
        .arg(format);
}
inline QString verdictLinesSwapped()
{
    return QCoreApplication::translate("msg", "线路上只传回了断路信号（0x00字节）或无法识别的字节，在任何速率和地址上都没有回答：A、B两线可能接反了，请对调这两根线。");
}
// found: "19200 8N1"; usual: "9600 8N1"; baud: 19200.
inline QString verdictOtherSpeed(const QString &found, const QString &usual, int baud)
{
    return QCoreApplication::translate("msg", "设备在%1下回答，而不是%2：请把设备设回%2，或者使用它的速率"
                                              "（命令行 alarmcfg-cli -b %3，窗口用环境变量 ALARMCFG_BAUD=%3）。")
        .arg(found, usual)
        .arg(baud);
}
inline QString verdictOtherParity(const QString &found, int baud)
{
    return QCoreApplication::translate("msg", "设备在%1（带校验）下回答，而本软件只使用8N1：请把设备设为%2波特、8位数据、无校验、1位停止位。")
        .arg(found)
        .arg(baud);
}
inline QString verdictOtherAddress(int slave, const QString &format)
{
    return QCoreApplication::translate("msg", "地址%1上有设备回答（%2），而不是地址1：本软件只与地址1通信，这也是报警控制器应有的地址。请把设备地址设回1。")
        .arg(slave)
        .arg(format);
}
// what: what it refused (requestRefused, requestUnanswered, joined), or otherLayout.
inline QString verdictNotThisDevice(const QString &what)
{
    return QCoreApplication::translate("msg", "地址1上的Modbus设备回答了，但%1：它不是这种报警控制器。请检查这个串口是否连接到报警控制器。").arg(what);
}
inline QString verdictRefusedRegisters(const QString &requests)
{
    return QCoreApplication::translate("msg", "没有给出%1").arg(requests);
}
inline QString verdictOtherLayout() { return QCoreApplication::translate("msg", "它的状态寄存器内容与这种控制器不符"); }
inline QString requestUnanswered(int start, int count)
{
    return count == 1 ? QCoreApplication::translate("msg", "寄存器%1（没有回答）").arg(start)
                      : QCoreApplication::translate("msg", "寄存器%1至%2（没有回答）").arg(start).arg(start + count - 1);
}
inline QString verdictAnotherMaster(int frames, const QString &seconds, int perSecond, const QString &slaves)
{
    return QCoreApplication::translate("msg", "本软件不发送时，线路上%2秒内出现了%1帧不是它请求的数据（每秒约%3帧，地址%4）："
                                              "线上还有另一个主站在轮询。请在配置期间停止它或断开它。")
        .arg(frames)
        .arg(seconds)
        .arg(perSecond)
        .arg(slaves);
}
inline QString verdictSlowReply(int ms, int timeoutMs)
{
    return QCoreApplication::translate("msg", "设备有回答，但在请求后%1毫秒才回答，超过了本软件等待的%2毫秒。请检查是什么延迟了回答"
                                              "（USB转换器的延迟计时器、较慢的转换器或串口服务器）；命令行可以用 --timeout 等待更久。")
        .arg(ms)
        .arg(timeoutMs);
}
inline QString verdictIntermittent(int lost, int reads, int percent)
{
    return QCoreApplication::translate("msg", "设备有回答，但%2次状态读取中丢失了%1次（%3%）：请在线路两端装上120欧姆终端电阻和偏置电阻，并检查电缆；"
                                              "使用USB转换器时，请调低它的延迟计时器（Linux：echo 1 > /sys/bus/usb-serial/devices/ttyUSB0/latency_timer；"
                                              "Windows：设备管理器→端口属性→端口设置→高级→延迟计时器 1 毫秒）。")
        .arg(lost)
        .arg(reads)
        .arg(percent);
}

// Reading
inline QString readSucceeded() { return QCoreApplication::translate("msg", "读取短信报警控制器参数成功！"); }
// A full read that failed. Only when nothing came at all is the cable to blame.
inline QString readFailed() { return QCoreApplication::translate("msg", "读取短信报警控制器参数失败，请检查设备连接！"); }
// request: which registers, and the device's exception (requestRefused).
inline QString readRefused(const QString &request)
{
    return QCoreApplication::translate("msg", "读取短信报警控制器参数失败：设备拒绝了读取%1。").arg(request);
}
// why: what came back and what to do (noWholeReply… below).
inline QString readFailedBecause(const QString &why) { return QCoreApplication::translate("msg", "读取短信报警控制器参数失败：%1").arg(why); }
inline QString relayCommandsRead() { return QCoreApplication::translate("msg", "读取继电器命令成功！"); }

// Writing
inline QString connectFirst() { return QCoreApplication::translate("msg", "请链接设备"); }
inline QString passwordTooLong()
{
    return QCoreApplication::translate("msg", "密码长度不能超过%1！").arg(params::kMaxPasswordChars);
}
inline QString commandTooLong()
{
    return QCoreApplication::translate("msg", "命令长度必须小于%1！").arg(params::kCommandBytesBelow);
}
inline QString slotTextTooLong()
{
    return QCoreApplication::translate("msg", "报警短信和手机号码不能超过%1字节！").arg(params::kMaxSlotTextBytes);
}
// characters: each one that cannot be sent, those that show nothing as "U+0000".
inline QString unsendableCharacter(const QString &characters)
{
    return QCoreApplication::translate("msg", "包含无法发送的字符：%1，请修改后重试！").arg(characters);
}
inline QString actionTimeOutOfRange()
{
    return QCoreApplication::translate("msg", "动作时间必须在%1到%2之间！").arg(params::kRegisterMin).arg(params::kRegisterMax);
}
// Reading splits every command at "*", so a "*" inside one would break it.
// field: the window's name for it, from the field table.
inline QString holdsPasswordSeparator(const QString &field) { return QCoreApplication::translate("msg", "%1不能包含字符“*”！").arg(field); }
// position: the entry's, counted from 1.
inline QString phoneNotANumber(int position, const QString &entry)
{
    return QCoreApplication::translate("msg", "%1“%2”只能由数字0-9和开头的“+”组成！").arg(params::phoneCaption(position - 1), entry);
}
inline QString writeSucceeded() { return QCoreApplication::translate("msg", "短信报警控制器参数设置成功！"); }
inline QString writeFailed() { return QCoreApplication::translate("msg", "参数设置失败，请检查设备连接！"); }
inline QString writeRefused(const QString &request) { return QCoreApplication::translate("msg", "参数设置失败：设备拒绝了写入%1。").arg(request); }
inline QString writeFailedBecause(const QString &why) { return QCoreApplication::translate("msg", "参数设置失败：%1").arg(why); }
// The second line of every failed write: what is already on the device.
inline QString writesConfirmed(int confirmed, int total)
{
    return QCoreApplication::translate("msg", "设备已确认%1/%2项写入，其余的没有写入。").arg(confirmed).arg(total);
}
// Before 设置 and 恢复出厂 the device is read and backed up.
inline QString nothingWritten() { return QCoreApplication::translate("msg", "没有写入任何参数。"); }
inline QString backupNotSaved(const QString &why)
{
    return QCoreApplication::translate("msg", "无法保存写入前的参数备份，没有写入任何参数：\n%1").arg(why);
}
inline QString backupSavedAt(const QString &path) { return QCoreApplication::translate("msg", "写入前的参数已备份到：\n%1").arg(path); }
// The button of a failed write's box, and what it reports.
inline QString putBackButton() { return QCoreApplication::translate("msg", "恢复写入前的参数"); }
inline QString putBackDone(int registers)
{
    return QCoreApplication::translate("msg", "已恢复写入前的参数：设备中的%1个寄存器已逐一读回核对，全部与备份一致。").arg(registers);
}
// The command that does the same from a terminal.
inline QString restoreCommand(const QString &backup, const QString &port)
{
    return QStringLiteral("alarmcfg-cli restore \"%1\" -p %2").arg(backup, port);
}
inline QString putBackFailed(const QString &cause, int written, int total, const QString &command)
{
    return QCoreApplication::translate("msg", "恢复写入前的参数失败：%1\n设备已确认%2/%3项恢复写入。可以再试一次，或在命令行中运行：\n%4")
        .arg(cause)
        .arg(written)
        .arg(total)
        .arg(command);
}
inline QString putBackDiffers(int registers, const QString &command)
{
    return QCoreApplication::translate("msg", "恢复后读回核对，设备中有%1个寄存器与备份不一致。可以在命令行中运行：\n%2").arg(registers).arg(command);
}
inline QString putBackOtherFirmware(const QString &backup, const QString &device, const QString &command)
{
    if (backup.isEmpty())
        return QCoreApplication::translate("msg", "备份中没有记录固件版本，而这台设备的固件是%1，没有恢复。确认无误后可在命令行中运行（加 --force）：\n%2")
            .arg(device, command);
    return QCoreApplication::translate("msg", "备份来自固件%1的设备，而这台设备的固件是%2，没有恢复。确认无误后可在命令行中运行（加 --force）：\n%3")
        .arg(backup, device, command);
}
inline QString backupUnreadable(const QString &path, const QString &why)
{
    return QCoreApplication::translate("msg", "无法读取备份文件：\n%1\n%2").arg(path, why);
}
// Why a request failed, in one line: who failed.
inline QString deviceSilent() { return QCoreApplication::translate("msg", "设备没有回答，请检查设备连接。"); }
inline QString deviceRefused(const QString &request) { return QCoreApplication::translate("msg", "设备拒绝了%1。").arg(request); }
// Bytes came back, but nothing to believe: no whole reply (an echo, a break,
// noise), or answers that cannot be matched to their requests. Never "the
// device answered": no device may be there at all.
inline QString noWholeReply() { return QCoreApplication::translate("msg", "线路上传回了字节，但不是完整的回答。"); }
inline QString answersUnmatched() { return QCoreApplication::translate("msg", "有回答传回，但无法确认是哪一次请求的回答。"); }
inline QString adviceCheckWiring()
{
    return QCoreApplication::translate("msg", "请检查A、B两线是否接反，线路是否有干扰，以及RS-485转换器。");
}
inline QString adviceCheckOtherMasters()
{
    return QCoreApplication::translate("msg", "请检查线上是否还有其他主站，或RS-485转换器是否重复发送。");
}
// Which registers a refused request named, and why the device refused.
inline QString requestRefused(int start, int count, const QString &exception)
{
    return count == 1 ? QCoreApplication::translate("msg", "寄存器%1（%2）").arg(start).arg(exception)
                      : QCoreApplication::translate("msg", "寄存器%1至%2（%3）").arg(start).arg(start + count - 1).arg(exception);
}
// The Modbus exception codes a controller answers with.
inline QString exceptionName(int code)
{
    switch (code) {
    case 1: return QCoreApplication::translate("msg", "异常码01：不支持的功能");
    case 2: return QCoreApplication::translate("msg", "异常码02：非法的寄存器地址");
    case 3: return QCoreApplication::translate("msg", "异常码03：非法的数值");
    case 4: return QCoreApplication::translate("msg", "异常码04：设备故障");
    default: return QCoreApplication::translate("msg", "异常码%1").arg(code, 2, 10, QLatin1Char('0'));
    }
}

// Configuration files
inline QString configExported(const QString &path) { return QCoreApplication::translate("msg", "配置已导出到：\n%1").arg(path); }
inline QString exportedAsShown(const QString &fields)
{
    return QCoreApplication::translate("msg", "以下文字在设备中比显示的更长，只导出了显示的部分：%1。\n用命令行 alarmcfg-cli read 可以读出全文。")
        .arg(fields);
}
inline QString configNotSaved(const QString &path, const QString &error)
{
    return QCoreApplication::translate("msg", "配置文件保存失败：\n%1\n%2\n原有的文件没有改动。").arg(path, error);
}
inline QString configRefused(const QString &path, const QString &problems)
{
    return QCoreApplication::translate("msg", "配置文件无法导入，窗口中的内容没有改动：\n%1\n\n%2").arg(path, problems);
}
inline QString configImported() { return QCoreApplication::translate("msg", "配置已导入，尚未写入设备。\n请按“设置”把配置写入设备。"); }
inline QString listSeparator() { return QCoreApplication::translate("msg", "、"); }
inline QString configFileFilter() { return QCoreApplication::translate("msg", "配置文件 (*.json);;所有文件 (*)"); }
// One line of a refused file: where, then what is wrong (the file… messages
// below). field: the window's name for it, next to its path in the file.
inline QString fileProblemOfField(const QString &field, const QString &path, const QString &problem)
{
    return QCoreApplication::translate("msg", "%1（%2）：%3").arg(field, path, problem);
}
// path: a key of the file that no field of the window stands for.
inline QString fileProblemAt(const QString &path, const QString &problem)
{
    return QCoreApplication::translate("msg", "%1：%2").arg(path, problem);
}
// What is wrong with a file, one line each after the field it names.
inline QString fileCannotBeRead(const QString &error) { return QCoreApplication::translate("msg", "无法读取文件（%1）").arg(error); }
inline QString fileTooLarge()
{
    return QCoreApplication::translate("msg", "文件大于%1 MiB，不是配置文件").arg(config::kMaxFileBytes / (1024 * 1024));
}
inline QString fileNotJson(const QString &error) { return QCoreApplication::translate("msg", "不是有效的JSON（%1）").arg(error); }
inline QString fileNotAnObject() { return QCoreApplication::translate("msg", "内容不是一个JSON对象"); }
inline QString fileWrongFormat(const QString &format) { return QCoreApplication::translate("msg", "不是本软件的配置文件（format为“%1”）").arg(format); }
inline QString fileVersionMissing() { return QCoreApplication::translate("msg", "缺少版本号"); }
inline QString fileVersionTooNew(const QString &version)
{
    return QCoreApplication::translate("msg", "版本%1比本软件能读的版本%2新").arg(version).arg(config::kVersion);
}
inline QString fileUnknownKey() { return QCoreApplication::translate("msg", "未知的项（拼写错误？）"); }
inline QString fileMissingKey() { return QCoreApplication::translate("msg", "缺少此项"); }
inline QString fileWrongType(const QString &expected) { return QCoreApplication::translate("msg", "类型或取值不对，应为：%1").arg(expected); }
inline QString fileTooManyPhones(const QString &count)
{
    return QCoreApplication::translate("msg", "有%1个手机号码，最多%2个").arg(count).arg(params::kMaxPhones);
}
inline QString fileDuplicateKey() { return QCoreApplication::translate("msg", "此项出现了不止一次，无法确定用哪一个"); }
// kind: what stands at the path instead of a regular file (fileKind… below).
inline QString fileNotRegular(const QString &kind) { return QCoreApplication::translate("msg", "这是%1，不是普通文件，没有读取").arg(kind); }
// Why 导出配置 left a path as it was.
inline QString saveNotRegular(const QString &kind)
{
    return QCoreApplication::translate("msg", "这是%1，不是普通文件也不是字符设备，不能用配置文件替换").arg(kind);
}
inline QString saveDanglingLink(const QString &target)
{
    return QCoreApplication::translate("msg", "这是指向 %1 的符号链接，但它指向的文件不存在").arg(target);
}
inline QString fileKindFolder() { return QCoreApplication::translate("msg", "文件夹"); }
inline QString fileKindCharacterDevice() { return QCoreApplication::translate("msg", "字符设备"); }
inline QString fileKindBlockDevice() { return QCoreApplication::translate("msg", "块设备"); }
inline QString fileKindFifo() { return QCoreApplication::translate("msg", "命名管道（FIFO）"); }
inline QString fileKindSocket() { return QCoreApplication::translate("msg", "套接字"); }
inline QString fileKindUnknown() { return QCoreApplication::translate("msg", "无法识别类型的文件"); }

// The hand-over sheet
inline QString sheetFileFilter() { return QCoreApplication::translate("msg", "PDF 文件 (*.pdf)"); }
// A text read only in part is on the sheet as the window shows it.
inline QString sheetShowsPart(const QString &fields)
{
    return QCoreApplication::translate("msg", "以下文字在设备中比显示的更长，交接单上只有显示的部分：%1。\n"
                                              "用命令行 alarmcfg-cli sheet -p 端口 可以得到全文。")
        .arg(fields);
}
// Connected, the sheet shows what the device holds, not the window's edits.
inline QString sheetShowsDevice()
{
    return QCoreApplication::translate("msg", "交接单按设备中的参数生成，不含窗口中尚未“设置”的修改；要包含它们，请先“设置”。");
}
// After a write stopped part-way the window does not know what the device holds.
inline QString sheetNeedsRead() { return QCoreApplication::translate("msg", "设备中的参数不确定，请先“读取”，再生成交接单。"); }
inline QString sheetSaved(const QString &path, const QString &note)
{
    return QCoreApplication::translate("msg", "交接单已保存到：\n%1%2").arg(path, note);
}
// The button of that box that opens the sheet.
inline QString openSheetButton() { return QCoreApplication::translate("msg", "打开交接单"); }
inline QString sheetNotSaved(const QString &path, const QString &error)
{
    return QCoreApplication::translate("msg", "交接单保存失败：\n%1\n%2\n原有的文件没有改动。").arg(path, error);
}
inline QString sheetNotOpened(const QString &path)
{
    return QCoreApplication::translate("msg", "没有找到打开PDF文件的程序：\n%1").arg(path);
}

// Before a write that stores every command behind the window's one password
// where the device holds them behind different ones.
inline QString commandPasswordsMadeOne()
{
    return QCoreApplication::translate("msg", "设备中各条命令前的密码不同；这次设置后，所有命令都将使用“%1”中的密码。")
        .arg(params::field(params::FieldId::Password).caption.text());
}

// A text read only in part: the device holds more than the 20 bytes read.
inline QString textLongerOnDevice()
{
    return QCoreApplication::translate("msg", "设备中的这段文字比显示的更长（只读出了前%1个字节）。\n不修改它，写入时设备中的全文保持不变。")
        .arg(regmap::kTextReadBytes);
}

// Phone list
inline QString phoneListFull() { return QCoreApplication::translate("msg", "手机号码设置最多数量为%1！").arg(params::kMaxPhones); }
inline QString choosePhone() { return QCoreApplication::translate("msg", "请选择手机号码！"); }

// The port information line: which device the chosen entry or the typed text is.
// port: "COM3"; what: the device, or why there is none.
inline QString portEntry(const QString &port, const QString &what) { return QCoreApplication::translate("msg", "%1：%2").arg(port, what); }
// why: the rule that chose the device (portBy… and the others below), or portTyped.
inline QString portDeviceBecause(const QString &device, const QString &why)
{
    return QCoreApplication::translate("msg", "%1（%2）").arg(device, why);
}
// Between the parts of the second line: description, manufacturer, serial number.
inline QString portDetailSeparator() { return QCoreApplication::translate("msg", "，"); }
inline QString portByEnvironment(const QString &variable) { return QCoreApplication::translate("msg", "由环境变量 %1 指定").arg(variable); }
inline QString portBySavedPin() { return QCoreApplication::translate("msg", "已保存的分配"); }
inline QString portBuiltIn() { return QCoreApplication::translate("msg", "主板串口"); }
inline QString portOfSystem() { return QCoreApplication::translate("msg", "Windows 串口"); }
inline QString portTyped() { return QCoreApplication::translate("msg", "手动输入"); }
inline QString portNewlyAssigned() { return QCoreApplication::translate("msg", "新分配，已保存"); }
inline QString portAssignedUnsaved() { return QCoreApplication::translate("msg", "临时分配，未保存"); }
inline QString portSerialNumber(const QString &serial) { return QCoreApplication::translate("msg", "序列号 %1").arg(serial); }
inline QString portNotPresent() { return QCoreApplication::translate("msg", "该设备不存在"); }
inline QString portNoDevice() { return QCoreApplication::translate("msg", "没有串口设备"); }
inline QString portPinnedAbsent() { return QCoreApplication::translate("msg", "已保存的适配器未插入"); }
inline QString portNotADeviceName() { return QCoreApplication::translate("msg", "不是串口设备名"); }
// A port behind a serial device server, by its kind; once connected, the server's address.
inline QString portNetworkRaw() { return QCoreApplication::translate("msg", "网络端口，RTU 帧经 TCP 原样传送"); }
inline QString portNetworkRfc2217() { return QCoreApplication::translate("msg", "网络端口，RFC 2217，由本软件设置服务器的串口"); }
inline QString portConnectedTo(const QString &address) { return QCoreApplication::translate("msg", "已连接到 %1").arg(address); }
inline QString portNotANetworkName()
{
    return QCoreApplication::translate("msg", "不是网络端口名，应为 tcp://主机:端口 或 rfc2217://主机:端口");
}

} // namespace msg
