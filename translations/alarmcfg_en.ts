<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>FieldTable</name>
    <message>
        <source>第%1个手机号码</source>
        <translation>Phone number %1</translation>
    </message>
    <message>
        <source>指令密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>继电器%1开启命令</source>
        <translation>Relay %1 on command</translation>
    </message>
    <message>
        <source>继电器%1关闭命令</source>
        <translation>Relay %1 off command</translation>
    </message>
    <message>
        <source>继电器%1开启回复</source>
        <translation>Relay %1 on reply</translation>
    </message>
    <message>
        <source>继电器%1关闭回复</source>
        <translation>Relay %1 off reply</translation>
    </message>
    <message>
        <source>继电器%1动作时间</source>
        <translation>Relay %1 action time</translation>
    </message>
    <message>
        <source>全开命令</source>
        <translation>All on</translation>
    </message>
    <message>
        <source>全关命令</source>
        <translation>All off</translation>
    </message>
    <message>
        <source>通道%1闭合短信</source>
        <translation>Ch %1 closing</translation>
    </message>
    <message>
        <source>通道%1断开短信</source>
        <translation>Ch %1 opening</translation>
    </message>
    <message>
        <source>报警模式</source>
        <translation>Alarm mode</translation>
    </message>
    <message>
        <source>掉电记忆</source>
        <translation>Memory</translation>
    </message>
    <message>
        <source>电话报警</source>
        <translation>Calls</translation>
    </message>
    <message>
        <source>闭合</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>断开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>双向</source>
        <translation>Both</translation>
    </message>
    <message>
        <source>开启命令</source>
        <translation>On</translation>
    </message>
    <message>
        <source>关闭命令</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>回复命令</source>
        <translation>Reply</translation>
    </message>
    <message>
        <source>动作时间</source>
        <translation>Time</translation>
    </message>
</context>
<context>
    <name>FormMain</name>
    <message>
        <source>串口设置</source>
        <translation>Serial port</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>固件版本</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>数字量状态</source>
        <translation>I/O state</translation>
    </message>
    <message>
        <source>系统选项</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>报警设置</source>
        <translation>Alarm settings</translation>
    </message>
    <message>
        <source>手机号码设置</source>
        <translation>Phone numbers</translation>
    </message>
    <message>
        <source>添加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>短信报警设置</source>
        <translation>SMS alarms</translation>
    </message>
    <message>
        <source>通道选择</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>继电器指令设置</source>
        <translation>Relay commands</translation>
    </message>
    <message>
        <source>继电器%1</source>
        <translation>Relay %1</translation>
    </message>
    <message>
        <source>%1：</source>
        <translation>%1:</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>恢复出厂</source>
        <translation>Factory</translation>
    </message>
    <message>
        <source>导出配置</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>导入配置</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>断开</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>链接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>交接单</source>
        <translation>Sheet</translation>
    </message>
</context>
<context>
    <name>msg</name>
    <message>
        <source>配置软件V1.5</source>
        <translation>Configuration Software V1.5</translation>
    </message>
    <message>
        <source>打开串口失败，请检查串口设置！</source>
        <translation>The serial port did not open. Check the port settings!</translation>
    </message>
    <message>
        <source>%1：不是串口设备</source>
        <translation>%1: not a serial device</translation>
    </message>
    <message>
        <source>%1：没有对应的串口设备</source>
        <translation>%1: no serial device stands behind it</translation>
    </message>
    <message>
        <source>%1：设备不存在（是否已拔出？）</source>
        <translation>%1: the device is not there (unplugged?)</translation>
    </message>
    <message>
        <source>%1：没有权限打开。</source>
        <translation>%1: no permission to open it. </translation>
    </message>
    <message>
        <source>%1：串口正被其他程序占用。</source>
        <translation>%1: another program is using the port. </translation>
    </message>
    <message>
        <source>%1：系统找到了串口，但没有能驱动它的程序（%2）。</source>
        <translation>%1: the system knows the port, but no driver runs it (%2). </translation>
    </message>
    <message>
        <source>请将用户加入 dialout 组（sudo usermod -aG dialout $USER），然后注销并重新登录，新的组才会生效。</source>
        <translation>Add your user to the dialout group (sudo usermod -aG dialout $USER), then log out and in again for the group to take effect.</translation>
    </message>
    <message>
        <source>请关闭正在使用它的程序（例如另一个配置软件或串口调试工具），然后重试。</source>
        <translation>Close the program that uses it (another copy of this tool or a serial terminal, for example), then try again.</translation>
    </message>
    <message>
        <source>请安装USB串口适配器厂家的驱动程序（CH340、PL2303、CP210x、FTDI 在较旧的 Windows 上都需要），然后拔下适配器再插上。</source>
        <translation>Install the driver from the USB serial adapter&apos;s vendor (CH340, PL2303, CP210x and FTDI chips need one on older Windows), then unplug the adapter and plug it in again.</translation>
    </message>
    <message>
        <source>%1：串口被标记为独占使用，打开它的程序：%2。</source>
        <translation>%1: the port is marked for one program&apos;s use; open in: %2.</translation>
    </message>
    <message>
        <source>没有配置软件在使用它。如果上面的程序并不独占这个串口，这个标记就是一个已退出的程序留下的，会一直保留到上面的程序都关闭这个串口（USB 适配器可以拔下再插上）。</source>
        <translation>No copy of this tool is using it. Unless one of the programs above uses the port alone, a program that has ended left the mark behind; it stays until every program above has closed the port (a USB adapter can be unplugged and plugged in again).</translation>
    </message>
    <message>
        <source>ModemManager 会探测新插入的 USB 串口，brltty 会占用某些 USB 串口芯片。</source>
        <translation>ModemManager probes newly plugged USB serial ports, and brltty takes some USB serial chips.</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>设备链接超时，请检查设备是否链接正常</source>
        <translation>The device stopped answering. Check its connection</translation>
    </message>
    <message>
        <source>读取短信报警控制器参数成功！</source>
        <translation>The alarm controller&apos;s settings have been read!</translation>
    </message>
    <message>
        <source>读取短信报警控制器参数失败，请检查设备连接！</source>
        <translation>Reading the alarm controller&apos;s settings failed. Check the device&apos;s connection!</translation>
    </message>
    <message>
        <source>读取继电器命令成功！</source>
        <translation>The relay commands have been read!</translation>
    </message>
    <message>
        <source>请链接设备</source>
        <translation>Connect the device first</translation>
    </message>
    <message>
        <source>密码长度不能超过%1！</source>
        <translation>The password may not be longer than %1 characters!</translation>
    </message>
    <message>
        <source>命令长度必须小于%1！</source>
        <translation>A command must be shorter than %1 bytes!</translation>
    </message>
    <message>
        <source>报警短信和手机号码不能超过%1字节！</source>
        <translation>Alarm texts and phone numbers may not be longer than %1 bytes!</translation>
    </message>
    <message>
        <source>包含无法发送的字符：%1，请修改后重试！</source>
        <translation>It holds characters that cannot be sent: %1. Change them and try again!</translation>
    </message>
    <message>
        <source>动作时间必须在%1到%2之间！</source>
        <translation>The action time must lie between %1 and %2!</translation>
    </message>
    <message>
        <source>%1不能包含字符“*”！</source>
        <translation>%1 may not hold the character &quot;*&quot;!</translation>
    </message>
    <message>
        <source>%1“%2”只能由数字0-9和开头的“+”组成！</source>
        <translation>%1 &quot;%2&quot; may hold only the digits 0-9 and a leading &quot;+&quot;!</translation>
    </message>
    <message>
        <source>短信报警控制器参数设置成功！</source>
        <translation>The alarm controller&apos;s settings have been written!</translation>
    </message>
    <message>
        <source>参数设置失败，请检查设备连接！</source>
        <translation>Writing the settings failed. Check the device&apos;s connection!</translation>
    </message>
    <message>
        <source>配置已导出到：
%1</source>
        <translation>The configuration has been exported to:
%1</translation>
    </message>
    <message>
        <source>以下文字在设备中比显示的更长，只导出了显示的部分：%1。
用命令行 alarmcfg-cli read 可以读出全文。</source>
        <translation>These texts are longer on the device than shown; only what is shown was exported: %1.
The command line alarmcfg-cli read reads them whole.</translation>
    </message>
    <message>
        <source>配置文件保存失败：
%1
%2
原有的文件没有改动。</source>
        <translation>The configuration file was not saved:
%1
%2
The file that was there is unchanged.</translation>
    </message>
    <message>
        <source>配置文件无法导入，窗口中的内容没有改动：
%1

%2</source>
        <translation>The configuration file cannot be imported; the window is unchanged:
%1

%2</translation>
    </message>
    <message>
        <source>配置已导入，尚未写入设备。
请按“设置”把配置写入设备。</source>
        <translation>The configuration has been imported, not yet written to the device.
Press &quot;Write&quot; to write it to the device.</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>配置文件 (*.json);;所有文件 (*)</source>
        <translation>Configuration files (*.json);;All files (*)</translation>
    </message>
    <message>
        <source>%1（%2）：%3</source>
        <translation>%1 (%2): %3</translation>
    </message>
    <message>
        <source>无法读取文件（%1）</source>
        <translation>The file cannot be read (%1)</translation>
    </message>
    <message>
        <source>文件大于%1 MiB，不是配置文件</source>
        <translation>The file is larger than %1 MiB: not a configuration file</translation>
    </message>
    <message>
        <source>不是有效的JSON（%1）</source>
        <translation>Not valid JSON (%1)</translation>
    </message>
    <message>
        <source>内容不是一个JSON对象</source>
        <translation>Not a JSON object</translation>
    </message>
    <message>
        <source>不是本软件的配置文件（format为“%1”）</source>
        <translation>Not a configuration file of this tool (format is &quot;%1&quot;)</translation>
    </message>
    <message>
        <source>缺少版本号</source>
        <translation>No version</translation>
    </message>
    <message>
        <source>版本%1比本软件能读的版本%2新</source>
        <translation>Version %1 is newer than version %2, which this tool reads</translation>
    </message>
    <message>
        <source>未知的项（拼写错误？）</source>
        <translation>Unknown key (misspelt?)</translation>
    </message>
    <message>
        <source>缺少此项</source>
        <translation>Missing</translation>
    </message>
    <message>
        <source>类型或取值不对，应为：%1</source>
        <translation>Wrong type or value; it should be: %1</translation>
    </message>
    <message>
        <source>有%1个手机号码，最多%2个</source>
        <translation>%1 phone numbers, at most %2</translation>
    </message>
    <message>
        <source>此项出现了不止一次，无法确定用哪一个</source>
        <translation>The key is there more than once; which one is meant cannot be told</translation>
    </message>
    <message>
        <source>这是%1，不是普通文件，没有读取</source>
        <translation>This is %1, not a regular file; not read</translation>
    </message>
    <message>
        <source>这是%1，不是普通文件也不是字符设备，不能用配置文件替换</source>
        <translation>This is %1, neither a regular file nor a character device; it cannot be replaced by a configuration file</translation>
    </message>
    <message>
        <source>这是指向 %1 的符号链接，但它指向的文件不存在</source>
        <translation>This is a symbolic link to %1, but what it points to does not exist</translation>
    </message>
    <message>
        <source>文件夹</source>
        <translation>a folder</translation>
    </message>
    <message>
        <source>字符设备</source>
        <translation>a character device</translation>
    </message>
    <message>
        <source>块设备</source>
        <translation>a block device</translation>
    </message>
    <message>
        <source>命名管道（FIFO）</source>
        <translation>a named pipe (FIFO)</translation>
    </message>
    <message>
        <source>套接字</source>
        <translation>a socket</translation>
    </message>
    <message>
        <source>无法识别类型的文件</source>
        <translation>a file of an unknown kind</translation>
    </message>
    <message>
        <source>设备中的这段文字比显示的更长（只读出了前%1个字节）。
不修改它，写入时设备中的全文保持不变。</source>
        <translation>This text is longer on the device than shown (only its first %1 bytes were read).
Left unchanged, the whole text stays on the device when writing.</translation>
    </message>
    <message>
        <source>手机号码设置最多数量为%1！</source>
        <translation>At most %1 phone numbers!</translation>
    </message>
    <message>
        <source>请选择手机号码！</source>
        <translation>Choose a phone number!</translation>
    </message>
    <message>
        <source>%1（%2）</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>由环境变量 %1 指定</source>
        <translation>set by the environment variable %1</translation>
    </message>
    <message>
        <source>已保存的分配</source>
        <translation>saved assignment</translation>
    </message>
    <message>
        <source>主板串口</source>
        <translation>built-in port</translation>
    </message>
    <message>
        <source>Windows 串口</source>
        <translation>Windows port</translation>
    </message>
    <message>
        <source>手动输入</source>
        <translation>typed</translation>
    </message>
    <message>
        <source>新分配，已保存</source>
        <translation>newly assigned, saved</translation>
    </message>
    <message>
        <source>临时分配，未保存</source>
        <translation>assigned for now, not saved</translation>
    </message>
    <message>
        <source>序列号 %1</source>
        <translation>serial number %1</translation>
    </message>
    <message>
        <source>该设备不存在</source>
        <translation>the device is not there</translation>
    </message>
    <message>
        <source>没有串口设备</source>
        <translation>no serial device</translation>
    </message>
    <message>
        <source>已保存的适配器未插入</source>
        <translation>the saved adapter is not plugged in</translation>
    </message>
    <message>
        <source>不是串口设备名</source>
        <translation>not a serial device name</translation>
    </message>
    <message>
        <source>读取短信报警控制器参数失败：设备拒绝了读取%1。</source>
        <translation>Reading the alarm controller&apos;s parameters failed: the device refused to read %1.</translation>
    </message>
    <message>
        <source>参数设置失败：设备拒绝了写入%1。</source>
        <translation>Setting the parameters failed: the device refused to write %1.</translation>
    </message>
    <message>
        <source>设备已确认%1/%2项写入，其余的没有写入。</source>
        <translation>The device confirmed %1 of %2 writes; the others were not written.</translation>
    </message>
    <message>
        <source>没有写入任何参数。</source>
        <translation>Nothing was written.</translation>
    </message>
    <message>
        <source>无法保存写入前的参数备份，没有写入任何参数：
%1</source>
        <translation>The backup of the parameters could not be saved, so nothing was written:
%1</translation>
    </message>
    <message>
        <source>写入前的参数已备份到：
%1</source>
        <translation>The parameters before the write are backed up in:
%1</translation>
    </message>
    <message>
        <source>恢复写入前的参数</source>
        <translation>Restore the parameters from before the write</translation>
    </message>
    <message>
        <source>已恢复写入前的参数：设备中的%1个寄存器已逐一读回核对，全部与备份一致。</source>
        <translation>The parameters are back as before the write: all %1 registers of the device were read back, and each matches the backup.</translation>
    </message>
    <message>
        <source>恢复写入前的参数失败：%1
设备已确认%2/%3项恢复写入。可以再试一次，或在命令行中运行：
%4</source>
        <translation>Putting the parameters back failed: %1
The device confirmed %2 of %3 writes of the backup. Try again, or run in a terminal:
%4</translation>
    </message>
    <message>
        <source>恢复后读回核对，设备中有%1个寄存器与备份不一致。可以在命令行中运行：
%2</source>
        <translation>Read back after putting it back, %1 registers of the device differ from the backup. You can run in a terminal:
%2</translation>
    </message>
    <message>
        <source>备份来自固件%1的设备，而这台设备的固件是%2，没有恢复。确认无误后可在命令行中运行（加 --force）：
%3</source>
        <translation>The backup comes from a device with firmware %1, but this device runs %2: nothing was put back. If you are sure, run in a terminal (with --force):
%3</translation>
    </message>
    <message>
        <source>无法读取备份文件：
%1
%2</source>
        <translation>The backup file cannot be read:
%1
%2</translation>
    </message>
    <message>
        <source>设备没有回答，请检查设备连接。</source>
        <translation>The device does not answer; check the connection to it.</translation>
    </message>
    <message>
        <source>设备拒绝了%1。</source>
        <translation>The device refused %1.</translation>
    </message>
    <message>
        <source>寄存器%1（%2）</source>
        <translation>register %1 (%2)</translation>
    </message>
    <message>
        <source>寄存器%1至%2（%3）</source>
        <translation>registers %1 to %2 (%3)</translation>
    </message>
    <message>
        <source>异常码01：不支持的功能</source>
        <translation>exception 01: function not supported</translation>
    </message>
    <message>
        <source>异常码02：非法的寄存器地址</source>
        <translation>exception 02: illegal register address</translation>
    </message>
    <message>
        <source>异常码03：非法的数值</source>
        <translation>exception 03: illegal value</translation>
    </message>
    <message>
        <source>异常码04：设备故障</source>
        <translation>exception 04: device failure</translation>
    </message>
    <message>
        <source>异常码%1</source>
        <translation>exception %1</translation>
    </message>
    <message>
        <source>PDF 文件 (*.pdf)</source>
        <translation>PDF files (*.pdf)</translation>
    </message>
    <message>
        <source>以下文字在设备中比显示的更长，交接单上只有显示的部分：%1。
用命令行 alarmcfg-cli sheet -p 端口 可以得到全文。</source>
        <translation>These texts are longer in the device than shown, and the sheet holds only what is shown: %1.
alarmcfg-cli sheet -p PORT gives them whole.</translation>
    </message>
    <message>
        <source>交接单已保存到：
%1%2</source>
        <translation>The hand-over sheet was saved to:
%1%2</translation>
    </message>
    <message>
        <source>打开交接单</source>
        <translation>Open the sheet</translation>
    </message>
    <message>
        <source>交接单保存失败：
%1
%2
原有的文件没有改动。</source>
        <translation>The hand-over sheet could not be saved:
%1
%2
The file there was left as it was.</translation>
    </message>
    <message>
        <source>没有找到打开PDF文件的程序：
%1</source>
        <translation>No program was found to open the PDF:
%1</translation>
    </message>
    <message>
        <source>备份中没有记录固件版本，而这台设备的固件是%1，没有恢复。确认无误后可在命令行中运行（加 --force）：
%2</source>
        <translation>The backup names no firmware, and this device runs firmware %1: nothing was put back. If you are sure, run in a terminal (with --force):
%2</translation>
    </message>
    <message>
        <source>交接单按设备中的参数生成，不含窗口中尚未“设置”的修改；要包含它们，请先“设置”。</source>
        <translation>The sheet shows what the device holds, without the window&apos;s edits not yet written; to have them on it, press &quot;Write&quot; first.</translation>
    </message>
    <message>
        <source>设备中的参数不确定，请先“读取”，再生成交接单。</source>
        <translation>What the device holds is not known: press &quot;Read&quot;, then make the sheet.</translation>
    </message>
    <message>
        <source>设备中各条命令前的密码不同；这次设置后，所有命令都将使用“%1”中的密码。</source>
        <translation>The device&apos;s commands carry different passwords; after this write, every command carries the one in &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>%1：另一个配置软件正在使用这个串口。</source>
        <translation>%1: another copy of this tool is using the port. </translation>
    </message>
    <message>
        <source>%1：另一个配置软件（%2）正在使用这个串口。</source>
        <translation>%1: another copy of this tool (%2) is using the port. </translation>
    </message>
    <message>
        <source>请先在那里断开连接。</source>
        <translation>Disconnect it there first.</translation>
    </message>
    <message>
        <source>读取短信报警控制器参数失败：%1</source>
        <translation>Reading the alarm controller&apos;s parameters failed: %1</translation>
    </message>
    <message>
        <source>参数设置失败：%1</source>
        <translation>Setting the parameters failed: %1</translation>
    </message>
    <message>
        <source>线路上传回了字节，但不是完整的回答。</source>
        <translation>bytes came back on the line, but no whole reply. </translation>
    </message>
    <message>
        <source>有回答传回，但无法确认是哪一次请求的回答。</source>
        <translation>answers came back, but which request each one answers could not be told. </translation>
    </message>
    <message>
        <source>请检查A、B两线是否接反，线路是否有干扰，以及RS-485转换器。</source>
        <translation>Check that A and B are not swapped, the line for noise, and the RS-485 converter.</translation>
    </message>
    <message>
        <source>请检查线上是否还有其他主站，或RS-485转换器是否重复发送。</source>
        <translation>Check for another master on the line, or an RS-485 converter that repeats frames.</translation>
    </message>
    <message>
        <source>%1：找不到这个主机名。</source>
        <translation>%1: no such host name.</translation>
    </message>
    <message>
        <source>%1：连接被拒绝，服务器的这个端口上没有服务。</source>
        <translation>%1: connection refused: nothing listens at that port of the server.</translation>
    </message>
    <message>
        <source>%1：网络不通，无法到达服务器。</source>
        <translation>%1: the server cannot be reached over the network.</translation>
    </message>
    <message>
        <source>%1：%2 秒内没有连接上服务器。</source>
        <translation>%1: no connection to the server within %2 s.</translation>
    </message>
    <message>
        <source>%1：串口服务器正忙：它同时只服务一个客户端，拒绝了这次连接。请先断开另一个客户端。</source>
        <translation>%1: the serial server is busy: it serves one client at a time and turned this connection away. Disconnect the other client first.</translation>
    </message>
    <message>
        <source>网络端口，RTU 帧经 TCP 原样传送</source>
        <translation>network port, RTU frames carried unchanged over TCP</translation>
    </message>
    <message>
        <source>网络端口，RFC 2217，由本软件设置服务器的串口</source>
        <translation>network port, RFC 2217: the tool sets the server&apos;s serial line</translation>
    </message>
    <message>
        <source>已连接到 %1</source>
        <translation>connected to %1</translation>
    </message>
    <message>
        <source>不是网络端口名，应为 tcp://主机:端口 或 rfc2217://主机:端口</source>
        <translation>not a network port name: write tcp://HOST:PORT or rfc2217://HOST:PORT</translation>
    </message>
    <message>
        <source>连接失败：%1</source>
        <translation>Connect failed: %1</translation>
    </message>
    <message>
        <source>已连接并读取了全部参数，但线路有问题：%1</source>
        <translation>Connected and read every parameter, but the line has trouble: %1</translation>
    </message>
    <message>
        <source>全面检查</source>
        <translation>Full check</translation>
    </message>
    <message>
        <source>正在尝试其他速率和地址……</source>
        <translation>Trying other speeds and addresses…</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>按“全面检查”可以尝试其他速率和地址（最多一分钟）。</source>
        <translation>Press “Full check” to try other speeds and addresses (up to a minute).</translation>
    </message>
    <message>
        <source>设备现在回答正常（固件%1，%3次状态读取回答了%2次，平均%4毫秒），请再试一次。</source>
        <translation>The device answers normally now (firmware %1, %2 of %3 status reads answered, %4 ms on average); please try again.</translation>
    </message>
    <message>
        <source>串口出错：%1。请检查USB串口适配器是否已拔出。</source>
        <translation>The port failed: %1. Check whether the USB serial adapter was unplugged.</translation>
    </message>
    <message>
        <source>在%1下，地址1没有任何回答。</source>
        <translation>Nothing answered at %1 as address 1.</translation>
    </message>
    <message>
        <source>在任何速率和地址上都没有回答（已尝试1200至115200波特的无、偶、奇校验，以及地址1至247）。</source>
        <translation>Nothing answered at any speed or address (tried 1200 to 115200 baud with no, even and odd parity, and addresses 1 to 247).</translation>
    </message>
    <message>
        <source>在%1下，地址1至247都没有回答；tcp:// 端口不能改变服务器串口的速率，其他速率没有尝试（请在服务器上设置，或改用 rfc2217://）。</source>
        <translation>Nothing answered at %1 at addresses 1 to 247; a tcp:// port cannot change the server&apos;s serial speed, so other speeds were not tried (set it on the server, or use rfc2217://).</translation>
    </message>
    <message>
        <source>检查在尝试完所有速率和地址之前被停止了。</source>
        <translation>The check was stopped before it had tried every speed and address.</translation>
    </message>
    <message>
        <source>请检查设备电源、电缆、转换器的A、B接线端子，以及是否选对了串口。</source>
        <translation>Check the device&apos;s power, the cable, the adapter&apos;s A and B terminals, and that this is the right port.</translation>
    </message>
    <message>
        <source>本机的串口：%1。</source>
        <translation>This computer&apos;s serial ports: %1.</translation>
    </message>
    <message>
        <source>最后出现的是%1。</source>
        <translation>The last to appear was %1.</translation>
    </message>
    <message>
        <source>只收到了本软件自己发出的请求（回声）：转换器工作正常，但它后面没有设备回答。请检查设备电源，以及从转换器的A、B到设备的A、B的两根线。</source>
        <translation>Only this tool&apos;s own requests came back (an echo): the adapter works, but no device answers behind it. Check the device&apos;s power, and the two wires from the adapter&apos;s A and B to the device&apos;s A and B.</translation>
    </message>
    <message>
        <source>在%1下，线路上只传回了断路信号（0x00字节）或无法识别的字节，没有回答：A、B两线可能接反了，请对调这两根线。</source>
        <translation>At %1 only a break (0x00 bytes) or bytes that are no reply came back: A and B are probably swapped; swap the two wires.</translation>
    </message>
    <message>
        <source>线路上只传回了断路信号（0x00字节）或无法识别的字节，在任何速率和地址上都没有回答：A、B两线可能接反了，请对调这两根线。</source>
        <translation>Only a break (0x00 bytes) or bytes that are no reply came back, and nothing answered at any speed or address: A and B are probably swapped; swap the two wires.</translation>
    </message>
    <message>
        <source>设备在%1下回答，而不是%2：请把设备设回%2，或者使用它的速率（命令行 alarmcfg-cli -b %3，窗口用环境变量 ALARMCFG_BAUD=%3）。</source>
        <translation>The device answers at %1, not at %2: set it back to %2, or use its speed (alarmcfg-cli -b %3 on the command line, the environment variable ALARMCFG_BAUD=%3 for the window).</translation>
    </message>
    <message>
        <source>设备在%1（带校验）下回答，而本软件只使用8N1：请把设备设为%2波特、8位数据、无校验、1位停止位。</source>
        <translation>The device answers at %1 (with parity), and this tool uses 8N1 only: set the device to %2 baud, 8 data bits, no parity, 1 stop bit.</translation>
    </message>
    <message>
        <source>地址%1上有设备回答（%2），而不是地址1：本软件只与地址1通信，这也是报警控制器应有的地址。请把设备地址设回1。</source>
        <translation>A device answers at address %1 (%2), not at address 1: this tool talks to address 1 only, as the alarm controller expects. Set the device&apos;s address back to 1.</translation>
    </message>
    <message>
        <source>地址1上的Modbus设备回答了，但%1：它不是这种报警控制器。请检查这个串口是否连接到报警控制器。</source>
        <translation>A Modbus device answered at address 1, but %1: it is not this kind of alarm controller. Check that this port leads to the alarm controller.</translation>
    </message>
    <message>
        <source>没有给出%1</source>
        <translation>it did not give %1</translation>
    </message>
    <message>
        <source>它的状态寄存器内容与这种控制器不符</source>
        <translation>its status registers hold what this controller never holds</translation>
    </message>
    <message>
        <source>寄存器%1（没有回答）</source>
        <translation>register %1 (no answer)</translation>
    </message>
    <message>
        <source>寄存器%1至%2（没有回答）</source>
        <translation>registers %1 to %2 (no answer)</translation>
    </message>
    <message>
        <source>本软件不发送时，线路上%2秒内出现了%1帧不是它请求的数据（每秒约%3帧，地址%4）：线上还有另一个主站在轮询。请在配置期间停止它或断开它。</source>
        <translation>While this tool was silent, %1 frames it did not ask for passed on the line in %2 s (about %3 a second, of address %4): another master polls this line. Stop it, or disconnect it while you configure.</translation>
    </message>
    <message>
        <source>设备有回答，但在请求后%1毫秒才回答，超过了本软件等待的%2毫秒。请检查是什么延迟了回答（USB转换器的延迟计时器、较慢的转换器或串口服务器）；命令行可以用 --timeout 等待更久。</source>
        <translation>The device answers, but %1 ms after the request, later than the %2 ms this tool waits. Check what delays the answer (a USB adapter&apos;s latency timer, a slow converter or a serial server); on the command line, --timeout waits longer.</translation>
    </message>
    <message>
        <source>设备有回答，但%2次状态读取中丢失了%1次（%3%）：请在线路两端装上120欧姆终端电阻和偏置电阻，并检查电缆；使用USB转换器时，请调低它的延迟计时器（Linux：echo 1 &gt; /sys/bus/usb-serial/devices/ttyUSB0/latency_timer；Windows：设备管理器→端口属性→端口设置→高级→延迟计时器 1 毫秒）。</source>
        <translation>The device answers, but %1 of %2 status reads were lost (%3%): fit 120-ohm termination at both ends of the line and its bias resistors, and check the cable; with a USB adapter, lower its latency timer (Linux: echo 1 &gt; /sys/bus/usb-serial/devices/ttyUSB0/latency_timer; Windows: Device Manager → the port&apos;s Properties → Port Settings → Advanced → Latency Timer 1 ms).</translation>
    </message>
</context>
<context>
    <name>sheet</name>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>短信报警控制器交接单</source>
        <translation>SMS alarm controller: hand-over sheet</translation>
    </message>
    <message>
        <source>安装地点</source>
        <translation>Site</translation>
    </message>
    <message>
        <source>日期</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>控制器SIM卡号码</source>
        <translation>Controller&apos;s SIM number</translation>
    </message>
    <message>
        <source>固件版本</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>开关控制</source>
        <translation>Switching</translation>
    </message>
    <message>
        <source>向控制器的SIM卡号码发送灰底的短信，一字不差：密码、“*”、空格和全角字符都照样输入。</source>
        <translation>Send the texts on grey to the controller&apos;s SIM number exactly as printed: the password, the &quot;*&quot;, spaces and full-width characters included.</translation>
    </message>
    <message>
        <source>发送的短信</source>
        <translation>Text to send</translation>
    </message>
    <message>
        <source>回复的短信</source>
        <translation>Reply</translation>
    </message>
    <message>
        <source>报警</source>
        <translation>Alarms</translation>
    </message>
    <message>
        <source>没有报警电话</source>
        <translation>No alarm phone</translation>
    </message>
    <message>
        <source>输入闭合和断开时都发送报警短信</source>
        <translation>an alarm SMS when an input closes and when it opens</translation>
    </message>
    <message>
        <source>输入闭合时发送报警短信</source>
        <translation>an alarm SMS when an input closes</translation>
    </message>
    <message>
        <source>输入断开时发送报警短信</source>
        <translation>an alarm SMS when an input opens</translation>
    </message>
    <message>
        <source>报警短信</source>
        <translation>Alarm text</translation>
    </message>
    <message>
        <source>是否发送</source>
        <translation>Sent</translation>
    </message>
    <message>
        <source>发送</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>不发送</source>
        <translation>no</translation>
    </message>
    <message>
        <source>发送报警短信后拨打报警电话</source>
        <translation>the alarm phones are called after the alarm SMS</translation>
    </message>
    <message>
        <source>不拨打电话</source>
        <translation>no call</translation>
    </message>
    <message>
        <source>注意：这些命令前的密码各不相同，请照灰底逐条发送。</source>
        <translation>Note: these commands carry different passwords; send each exactly as on grey.</translation>
    </message>
    <message>
        <source>[U+…] 是看不出来或手机键盘无法输入的字符：设备中的文字在该处含有这个字符。</source>
        <translation>[U+…] is a character that cannot be seen or cannot be typed on a phone keypad: the device&apos;s text holds it there.</translation>
    </message>
</context>
</TS>
