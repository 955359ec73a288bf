<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>AddDev</name>
    <message>
        <source>请在主界面设备列表选择需要编辑的设备</source>
        <translation>Select the device to edit in the main window&apos;s device list</translation>
    </message>
    <message>
        <source>设备类型:</source>
        <translation>Device type:</translation>
    </message>
    <message>
        <source>设备名称:</source>
        <translation>Device name:</translation>
    </message>
    <message>
        <source>设备ID:</source>
        <translation>Device ID:</translation>
    </message>
    <message>
        <source>用户名:</source>
        <translation>User name:</translation>
    </message>
    <message>
        <source>密码:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>通道数:</source>
        <translation>Channels:</translation>
    </message>
    <message>
        <source>系统提示:</source>
        <translation>Message:</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>请选择设备类型</source>
        <translation>Choose a device type</translation>
    </message>
    <message>
        <source>设备ID不能为空</source>
        <translation>The device ID must not be empty</translation>
    </message>
    <message>
        <source>设备ID只能由字母、数字、&quot;-&quot;和&quot;_&quot;组成，最长64个字符</source>
        <translation>The device ID may hold only letters, digits, &quot;-&quot; and &quot;_&quot;, at most 64 characters</translation>
    </message>
    <message>
        <source>通道数必须是1到64之间的整数</source>
        <translation>The channel count must be a whole number from 1 to 64</translation>
    </message>
    <message>
        <source>设备名称、用户名和密码最长128个字符</source>
        <translation>Device name, user name and password may have at most 128 characters</translation>
    </message>
    <message>
        <source>本地设备数量已达上限</source>
        <translation>The local device list is full</translation>
    </message>
    <message>
        <source>该设备ID已存在</source>
        <translation>A device with this ID already exists</translation>
    </message>
    <message>
        <source>无法写入配置文件</source>
        <translation>The configuration file cannot be written</translation>
    </message>
    <message>
        <source>添加成功</source>
        <translation>Device added</translation>
    </message>
    <message>
        <source>修改成功</source>
        <translation>Device changed</translation>
    </message>
    <message>
        <source>未找到该设备</source>
        <translation>No such device</translation>
    </message>
    <message>
        <source>删除成功</source>
        <translation>Device deleted</translation>
    </message>
    <message>
        <source>添加失败</source>
        <translation>The device was not added</translation>
    </message>
    <message>
        <source>添加失败: %1</source>
        <translation>The device was not added: %1</translation>
    </message>
    <message>
        <source>修改失败</source>
        <translation>The device was not changed</translation>
    </message>
    <message>
        <source>修改失败: %1</source>
        <translation>The device was not changed: %1</translation>
    </message>
    <message>
        <source>删除失败</source>
        <translation>The device was not deleted</translation>
    </message>
    <message>
        <source>删除失败: %1</source>
        <translation>The device was not deleted: %1</translation>
    </message>
    <message>
        <source>忘记密钥</source>
        <translation>Forget key</translation>
    </message>
    <message>
        <source>设备密钥:</source>
        <translation>Device key:</translation>
    </message>
    <message>
        <source>未固定（下次连接时信任设备出示的密钥）</source>
        <translation>Not pinned (the key the device presents on its next connection is trusted)</translation>
    </message>
    <message>
        <source>已忘记设备密钥</source>
        <translation>The device key was forgotten</translation>
    </message>
    <message>
        <source>接入方式:</source>
        <translation>Access:</translation>
    </message>
    <message>
        <source>RTSP地址:</source>
        <translation>RTSP URLs:</translation>
    </message>
    <message>
        <source>ONVIF地址:</source>
        <translation>ONVIF host:</translation>
    </message>
    <message>
        <source>传输:</source>
        <translation>Transport:</translation>
    </message>
    <message>
        <source>RTSP地址无效: %1</source>
        <translation>Invalid RTSP URL: %1</translation>
    </message>
    <message>
        <source>ONVIF地址应为 host 或 host:port</source>
        <translation>The ONVIF host must be host or host:port</translation>
    </message>
    <message>
        <source>正在连接ONVIF设备...</source>
        <translation>Connecting to the ONVIF device...</translation>
    </message>
    <message>
        <source>ONVIF设备无应答: %1</source>
        <translation>The ONVIF device did not answer: %1</translation>
    </message>
</context>
<context>
    <name>Alert</name>
    <message>
        <source>错误码:</source>
        <translation>Error code:</translation>
    </message>
    <message>
        <source>设备:</source>
        <translation>Device:</translation>
    </message>
    <message>
        <source>信息:</source>
        <translation>Message:</translation>
    </message>
    <message>
        <source>%1 (%2 times)</source>
        <translation>%1 (%2 times)</translation>
    </message>
</context>
<context>
    <name>AlertList</name>
    <message>
        <source>Time</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>Code</source>
        <translation>Code</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>Count</source>
        <translation>Count</translation>
    </message>
</context>
<context>
    <name>ControlPanel</name>
    <message>
        <source>本地配置</source>
        <translation>Local Settings</translation>
    </message>
    <message>
        <source>用户管理</source>
        <translation>User Management</translation>
    </message>
    <message>
        <source>时间搜索</source>
        <translation>Time Search</translation>
    </message>
    <message>
        <source>Debug记录</source>
        <translation>Debug Log</translation>
    </message>
    <message>
        <source>事件搜索</source>
        <translation>Alerts</translation>
    </message>
    <message>
        <source>日志搜索</source>
        <translation>Log Search</translation>
    </message>
    <message>
        <source>控制面板</source>
        <translation>Control Panel</translation>
    </message>
</context>
<context>
    <name>Cruise</name>
    <message>
        <source>开始巡航</source>
        <translation>Start cruise</translation>
    </message>
    <message>
        <source>自动巡航</source>
        <translation>Auto cruise</translation>
    </message>
    <message>
        <source>停止巡航</source>
        <translation>Stop cruise</translation>
    </message>
</context>
<context>
    <name>DebugRecord</name>
    <message>
        <source>全部级别</source>
        <translation>All levels</translation>
    </message>
    <message>
        <source>显示所选级别及更高级别的记录</source>
        <translation>Show records of the chosen level and above</translation>
    </message>
    <message>
        <source>筛选文字</source>
        <translation>Filter text</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>保存...</source>
        <translation>Save...</translation>
    </message>
    <message>
        <source>已复制 %1 行</source>
        <translation>Copied %1 lines</translation>
    </message>
    <message>
        <source>保存日志</source>
        <translation>Save Log</translation>
    </message>
    <message>
        <source>日志文件 (*.log *.txt)</source>
        <translation>Log files (*.log *.txt)</translation>
    </message>
    <message>
        <source>已保存到 %1</source>
        <translation>Saved to %1</translation>
    </message>
    <message>
        <source>无法保存 %1: %2</source>
        <translation>Cannot save %1: %2</translation>
    </message>
</context>
<context>
    <name>DevManage</name>
    <message>
        <source>设备管理</source>
        <translation>Device Management</translation>
    </message>
    <message>
        <source>添加设备</source>
        <translation>Add Device</translation>
    </message>
    <message>
        <source>编辑设备</source>
        <translation>Edit Device</translation>
    </message>
    <message>
        <source>局域网搜索</source>
        <translation>LAN Search</translation>
    </message>
    <message>
        <source>设备设置</source>
        <translation>Device Options</translation>
    </message>
</context>
<context>
    <name>DevMenu</name>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>全部播放</source>
        <translation>Play All</translation>
    </message>
    <message>
        <source>全部停止</source>
        <translation>Stop All</translation>
    </message>
    <message>
        <source>标清</source>
        <translation>SD</translation>
    </message>
    <message>
        <source>高清</source>
        <translation>HD</translation>
    </message>
    <message>
        <source>接收音频</source>
        <translation>Receive Audio</translation>
    </message>
    <message>
        <source>静音</source>
        <translation>Mute</translation>
    </message>
    <message>
        <source>发起对讲</source>
        <translation>Start Talk</translation>
    </message>
    <message>
        <source>编辑设备</source>
        <translation>Edit Device</translation>
    </message>
    <message>
        <source>重置连接</source>
        <translation>Reset Connection</translation>
    </message>
</context>
<context>
    <name>DevOpt</name>
    <message>
        <source>请在主界面设备列表选择需要编辑的通道(多通道设备需选择目标通道)</source>
        <translation>Select the channel to edit in the main window&apos;s device list (for a multi-channel device, select the channel itself)</translation>
    </message>
    <message>
        <source>[未选择]</source>
        <translation>[None selected]</translation>
    </message>
    <message>
        <source>设备昵称:</source>
        <translation>Nickname:</translation>
    </message>
    <message>
        <source>设备UID :</source>
        <translation>Device UID:</translation>
    </message>
    <message>
        <source>设备类型:</source>
        <translation>Device type:</translation>
    </message>
    <message>
        <source>系统提示:</source>
        <translation>Message:</translation>
    </message>
    <message>
        <source>WIFI名称:</source>
        <translation>Wi-Fi name:</translation>
    </message>
    <message>
        <source>WIFI密码:</source>
        <translation>Wi-Fi password:</translation>
    </message>
    <message>
        <source>提交</source>
        <translation>Submit</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>扫描二维码配置WIFI</source>
        <translation>Scan to set up Wi-Fi</translation>
    </message>
    <message>
        <source>时区:</source>
        <translation>Time zone:</translation>
    </message>
    <message>
        <source>时间:</source>
        <translation>Time:</translation>
    </message>
    <message>
        <source>wifi名不能为空</source>
        <translation>The Wi-Fi name must not be empty</translation>
    </message>
    <message>
        <source>时区修改成功</source>
        <translation>Time zone changed</translation>
    </message>
    <message>
        <source>时间修改成功</source>
        <translation>Time changed</translation>
    </message>
    <message>
        <source>wifi配置成功</source>
        <translation>Wi-Fi configured</translation>
    </message>
</context>
<context>
    <name>Device</name>
    <message>
        <source>[未知类型:</source>
        <translation>[Unknown type: </translation>
    </message>
</context>
<context>
    <name>GlWidgetViewWindow</name>
    <message>
        <source>超高清视频,请关闭其他通道播放以免占用过多资源</source>
        <translation>Ultra HD video: close the other channels to avoid using too many resources</translation>
    </message>
</context>
<context>
    <name>IoConnect</name>
    <message>
        <source>Playback video data does not exist.</source>
        <translation>Playback video data does not exist.</translation>
    </message>
    <message>
        <source>Failed to configure wireless network</source>
        <translation>Failed to configure wireless network</translation>
    </message>
    <message>
        <source>Does not support simultaneous remote playback.</source>
        <translation>Does not support simultaneous remote playback.</translation>
    </message>
    <message>
        <source>设备无法修改时区</source>
        <translation>The device cannot change its time zone</translation>
    </message>
    <message>
        <source>Not Found Input Device.</source>
        <translation>Not Found Input Device.</translation>
    </message>
    <message>
        <source>The device did not change the quality</source>
        <translation>The device did not change the quality</translation>
    </message>
    <message>
        <source>设备 %1 出示的密钥不是为它信任的密钥（信任：%2；出示：%3）。连接已被拒绝。如果设备已重置或更换，请在设备管理中忘记它的密钥。</source>
        <translation>Device %1 presented another key than the one trusted for it (trusted: %2; presented: %3). The connection was refused. If the device was reset or replaced, forget its key in the device manager.</translation>
    </message>
</context>
<context>
    <name>LocalSetting</name>
    <message>
        <source>1 到 %1 分钟</source>
        <translation>1 to %1 minutes</translation>
    </message>
    <message>
        <source>浏览...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>数据设置</source>
        <translation>Data</translation>
    </message>
    <message>
        <source>数据保存路径:</source>
        <translation>Data folder:</translation>
    </message>
    <message>
        <source>截图设置</source>
        <translation>Snapshots</translation>
    </message>
    <message>
        <source>截图保存路径:</source>
        <translation>Snapshot folder:</translation>
    </message>
    <message>
        <source>录像设置</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>录像保存路径:</source>
        <translation>Recording folder:</translation>
    </message>
    <message>
        <source>打包时长(分):</source>
        <translation>Record length (min):</translation>
    </message>
    <message>
        <source>请填写文件夹</source>
        <translation>Please enter a folder</translation>
    </message>
    <message>
        <source>请填写完整的文件夹路径: %1</source>
        <translation>Please enter the full path of the folder: %1</translation>
    </message>
    <message>
        <source>文件夹不存在: %1</source>
        <translation>The folder does not exist: %1</translation>
    </message>
    <message>
        <source>不是文件夹: %1</source>
        <translation>Not a folder: %1</translation>
    </message>
    <message>
        <source>文件夹不可写: %1</source>
        <translation>The folder is not writable: %1</translation>
    </message>
    <message>
        <source>Choose Directory</source>
        <translation>Choose Directory</translation>
    </message>
    <message>
        <source>打包时长(分): 请填写 1 到 %1 之间的整数</source>
        <translation>Record length (min): please enter a whole number from 1 to %1</translation>
    </message>
    <message>
        <source>没有需要保存的更改</source>
        <translation>There are no changes to save</translation>
    </message>
    <message>
        <source>Operation Failed</source>
        <translation>Operation Failed</translation>
    </message>
    <message>
        <source>已保存</source>
        <translation>Saved</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Orvane网络视频监控</source>
        <translation>Orvane Network Video Surveillance</translation>
    </message>
    <message>
        <source>控制面板</source>
        <translation>Control Panel</translation>
    </message>
    <message>
        <source>设备列表</source>
        <translation>Device List</translation>
    </message>
    <message>
        <source>云台控制</source>
        <translation>PTZ Control</translation>
    </message>
    <message>
        <source>码流信息</source>
        <translation>Stream Information</translation>
    </message>
    <message>
        <source>实时预览</source>
        <translation>Live View</translation>
    </message>
    <message>
        <source>远程回放</source>
        <translation>Playback</translation>
    </message>
    <message>
        <source>[未选择设备]</source>
        <translation>[No device selected]</translation>
    </message>
</context>
<context>
    <name>MenuDevList</name>
    <message>
        <source>无法从账号服务获取设备列表，请检查网络后重新登录</source>
        <translation>The account service did not give the device list. Check the network, then sign in again.</translation>
    </message>
    <message>
        <source>账号服务没有返回设备列表</source>
        <translation>The account service did not send a device list.</translation>
    </message>
    <message>
        <source>搜索设备</source>
        <translation>Search Devices</translation>
    </message>
    <message>
        <source>设备管理</source>
        <translation>Device Management</translation>
    </message>
</context>
<context>
    <name>MenuListDev</name>
    <message>
        <source>通道</source>
        <translation>Channel </translation>
    </message>
</context>
<context>
    <name>MenuPtz</name>
    <message>
        <source>变倍</source>
        <translation>Zoom</translation>
    </message>
    <message>
        <source>聚焦</source>
        <translation>Focus</translation>
    </message>
    <message>
        <source>光圈</source>
        <translation>Iris</translation>
    </message>
    <message>
        <source>步长(1-8):</source>
        <translation>Step (1-8):</translation>
    </message>
    <message>
        <source>预置点</source>
        <translation>Presets</translation>
    </message>
    <message>
        <source>巡航线</source>
        <translation>Cruise</translation>
    </message>
    <message>
        <source>色彩调节</source>
        <translation>Colour</translation>
    </message>
</context>
<context>
    <name>OnvifDeviceControl</name>
    <message>
        <source>Not supported over ONVIF</source>
        <translation>Not supported over ONVIF</translation>
    </message>
    <message>
        <source>Invalid time</source>
        <translation>Invalid time</translation>
    </message>
    <message>
        <source>Unknown time zone</source>
        <translation>Unknown time zone</translation>
    </message>
    <message>
        <source>The device gave an invalid stream URL: %1</source>
        <translation>The device gave an invalid stream URL: %1</translation>
    </message>
    <message>
        <source>No valid ONVIF host</source>
        <translation>No valid ONVIF host</translation>
    </message>
    <message>
        <source>The device&apos;s ONVIF settings changed</source>
        <translation>The device&apos;s ONVIF settings changed</translation>
    </message>
    <message>
        <source>The device has no media profile</source>
        <translation>The device has no media profile</translation>
    </message>
    <message>
        <source>The device has no such video source</source>
        <translation>The device has no such video source</translation>
    </message>
</context>
<context>
    <name>Point</name>
    <message>
        <source>新增预置点</source>
        <translation>Add preset</translation>
    </message>
    <message>
        <source>前往预制点</source>
        <translation>Go to preset</translation>
    </message>
</context>
<context>
    <name>ProgressBar</name>
    <message>
        <source>当天没有录像</source>
        <translation>No recordings on this day</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>No response</source>
        <translation>No response</translation>
    </message>
    <message>
        <source>Cannot resolve domain name</source>
        <translation>Cannot resolve domain name</translation>
    </message>
    <message>
        <source>Module already initialized</source>
        <translation>Module already initialized</translation>
    </message>
    <message>
        <source>Fails to create Mutexes</source>
        <translation>Fails to create Mutexes</translation>
    </message>
    <message>
        <source>Fails to create threads</source>
        <translation>Fails to create threads</translation>
    </message>
    <message>
        <source>Fails to create sockets</source>
        <translation>Fails to create sockets</translation>
    </message>
    <message>
        <source>Fails to set up socket options</source>
        <translation>Fails to set up socket options</translation>
    </message>
    <message>
        <source>Fails to bind sockets</source>
        <translation>Fails to bind sockets</translation>
    </message>
    <message>
        <source>UID is not licensed or expired</source>
        <translation>UID is not licensed or expired</translation>
    </message>
    <message>
        <source>Already login</source>
        <translation>Already login</translation>
    </message>
    <message>
        <source>Module is not initialized</source>
        <translation>Module is not initialized</translation>
    </message>
    <message>
        <source>Time out</source>
        <translation>Time out</translation>
    </message>
    <message>
        <source>SID invalid</source>
        <translation>SID invalid</translation>
    </message>
    <message>
        <source>Unknown device</source>
        <translation>Unknown device</translation>
    </message>
    <message>
        <source>Fails to get the local IP</source>
        <translation>Fails to get the local IP</translation>
    </message>
    <message>
        <source>Already start</source>
        <translation>Already start</translation>
    </message>
    <message>
        <source>Sessions has reached maximum</source>
        <translation>Sessions has reached maximum</translation>
    </message>
    <message>
        <source>Cannot locate the specified device</source>
        <translation>Cannot locate the specified device</translation>
    </message>
    <message>
        <source>Session already closes</source>
        <translation>Session already closes</translation>
    </message>
    <message>
        <source>Session timeout</source>
        <translation>Session timeout</translation>
    </message>
    <message>
        <source>Fails to connect to a device</source>
        <translation>Fails to connect to a device</translation>
    </message>
    <message>
        <source>Channel is not turned on</source>
        <translation>Channel is not turned on</translation>
    </message>
    <message>
        <source>Client stops connecting</source>
        <translation>Client stops connecting</translation>
    </message>
    <message>
        <source>Too few masters are specified</source>
        <translation>Too few masters are specified</translation>
    </message>
    <message>
        <source>A client fails to pass certification</source>
        <translation>A client fails to pass certification</translation>
    </message>
    <message>
        <source>The channels for a session has reached maximum</source>
        <translation>The channels for a session has reached maximum</translation>
    </message>
    <message>
        <source>Cannot connect</source>
        <translation>Cannot connect</translation>
    </message>
    <message>
        <source>Client does not support mode</source>
        <translation>Client does not support mode</translation>
    </message>
    <message>
        <source>A device does not support this mode</source>
        <translation>A device does not support this mode</translation>
    </message>
    <message>
        <source>A device stops for this connections</source>
        <translation>A device stops for this connections</translation>
    </message>
    <message>
        <source>No permission</source>
        <translation>No permission</translation>
    </message>
    <message>
        <source>Network unreachable</source>
        <translation>Network unreachable</translation>
    </message>
    <message>
        <source>Client fails to connect device</source>
        <translation>Client fails to connect device</translation>
    </message>
    <message>
        <source>Device login or client connect failed</source>
        <translation>Device login or client connect failed</translation>
    </message>
    <message>
        <source>Duplicated loggin and may unconnectable</source>
        <translation>Duplicated loggin and may unconnectable</translation>
    </message>
    <message>
        <source>The arguments is invalid</source>
        <translation>The arguments is invalid</translation>
    </message>
    <message>
        <source>The device not support partial encoding</source>
        <translation>The device not support partial encoding</translation>
    </message>
    <message>
        <source>Connect session exceed</source>
        <translation>Connect session exceed</translation>
    </message>
    <message>
        <source>Function is blocking,waiting</source>
        <translation>Function is blocking,waiting</translation>
    </message>
    <message>
        <source>Session close</source>
        <translation>Session close</translation>
    </message>
    <message>
        <source>Buffer size exceed</source>
        <translation>Buffer size exceed</translation>
    </message>
    <message>
        <source>Cannot find a path to write data</source>
        <translation>Cannot find a path to write data</translation>
    </message>
    <message>
        <source>Start function is not called</source>
        <translation>Start function is not called</translation>
    </message>
    <message>
        <source>Already in processing</source>
        <translation>Already in processing</translation>
    </message>
    <message>
        <source>Out of memory</source>
        <translation>Out of memory</translation>
    </message>
    <message>
        <source>The device is banned and locked</source>
        <translation>The device is banned and locked</translation>
    </message>
    <message>
        <source>Master have no response</source>
        <translation>Master have no response</translation>
    </message>
    <message>
        <source>Moudule has some resource problem</source>
        <translation>Moudule has some resource problem</translation>
    </message>
    <message>
        <source>Send queue is full</source>
        <translation>Send queue is full</translation>
    </message>
    <message>
        <source>The feature is not supported</source>
        <translation>The feature is not supported</translation>
    </message>
    <message>
        <source>Device is in sleep mode</source>
        <translation>Device is in sleep mode</translation>
    </message>
    <message>
        <source>Doesn&apos;t support this feature</source>
        <translation>Doesn&apos;t support this feature</translation>
    </message>
    <message>
        <source>WakeUp Init funtion isn&apos;t called</source>
        <translation>WakeUp Init funtion isn&apos;t called</translation>
    </message>
    <message>
        <source>Device offline</source>
        <translation>Device offline</translation>
    </message>
    <message>
        <source>Master invalid</source>
        <translation>Master invalid</translation>
    </message>
    <message>
        <source>Arguments incorrect</source>
        <translation>Arguments incorrect</translation>
    </message>
    <message>
        <source>Buffer is too small</source>
        <translation>Buffer is too small</translation>
    </message>
    <message>
        <source>The channels has reached maximum</source>
        <translation>The channels has reached maximum</translation>
    </message>
    <message>
        <source>Insufficient memory</source>
        <translation>Insufficient memory</translation>
    </message>
    <message>
        <source>A warning error</source>
        <translation>A warning error</translation>
    </message>
    <message>
        <source>The buffer to be sent exceeds</source>
        <translation>The buffer to be sent exceeds</translation>
    </message>
    <message>
        <source>Has no response</source>
        <translation>Has no response</translation>
    </message>
    <message>
        <source>Client does not start</source>
        <translation>Client does not start</translation>
    </message>
    <message>
        <source>Incorrect view account or password</source>
        <translation>Incorrect view account or password</translation>
    </message>
    <message>
        <source>Session is not valid</source>
        <translation>Session is not valid</translation>
    </message>
    <message>
        <source>Timeout has expired</source>
        <translation>Timeout has expired</translation>
    </message>
    <message>
        <source>Not ready for receiving</source>
        <translation>Not ready for receiving</translation>
    </message>
    <message>
        <source>Some parts of a frame are lost</source>
        <translation>Some parts of a frame are lost</translation>
    </message>
    <message>
        <source>The whole frame is lost</source>
        <translation>The whole frame is lost</translation>
    </message>
    <message>
        <source>The remote session already closes</source>
        <translation>The remote session already closes</translation>
    </message>
    <message>
        <source>Session is disconnected</source>
        <translation>Session is disconnected</translation>
    </message>
    <message>
        <source>Server exit</source>
        <translation>Server exit</translation>
    </message>
    <message>
        <source>Client exit</source>
        <translation>Client exit</translation>
    </message>
    <message>
        <source>Module has not been initialized</source>
        <translation>Module has not been initialized</translation>
    </message>
    <message>
        <source>Client cannot send data</source>
        <translation>Client cannot send data</translation>
    </message>
    <message>
        <source>Already in sending</source>
        <translation>Already in sending</translation>
    </message>
    <message>
        <source>Sending  is terminated </source>
        <translation>Sending  is terminated </translation>
    </message>
    <message>
        <source>Password length is wrong</source>
        <translation>Password length is wrong</translation>
    </message>
    <message>
        <source>Session has been closed</source>
        <translation>Session has been closed</translation>
    </message>
    <message>
        <source>Moudule deinitialized</source>
        <translation>Moudule deinitialized</translation>
    </message>
    <message>
        <source>Channel is used</source>
        <translation>Channel is used</translation>
    </message>
    <message>
        <source>Waiting key frame</source>
        <translation>Waiting key frame</translation>
    </message>
    <message>
        <source>Reset buffer</source>
        <translation>Reset buffer</translation>
    </message>
    <message>
        <source>Queue is full</source>
        <translation>Queue is full</translation>
    </message>
    <message>
        <source>Module is already initialized</source>
        <translation>Module is already initialized</translation>
    </message>
    <message>
        <source>Clean buffer </source>
        <translation>Clean buffer </translation>
    </message>
    <message>
        <source>编号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>The device&apos;s key is not the key trusted for it</source>
        <translation>The device&apos;s key is not the key trusted for it</translation>
    </message>
    <message>
        <source>The secure connection to the device failed</source>
        <translation>The secure connection to the device failed</translation>
    </message>
</context>
<context>
    <name>RtspDeviceLink</name>
    <message>
        <source>No stream URL for this channel</source>
        <translation>No stream URL for this channel</translation>
    </message>
</context>
<context>
    <name>SearchDev</name>
    <message>
        <source>编号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>UID</source>
        <translation>UID</translation>
    </message>
    <message>
        <source>系统版本</source>
        <translation>System version</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>通道</source>
        <translation>Channels</translation>
    </message>
    <message>
        <source>IP地址</source>
        <translation>IP address</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>搜索失败: [%1]%2</source>
        <translation>Search failed: [%1]%2</translation>
    </message>
</context>
<context>
    <name>System</name>
    <message>
        <source>软件版本:</source>
        <translation>Software version:</translation>
    </message>
    <message>
        <source>系统版本:</source>
        <translation>OS version:</translation>
    </message>
    <message>
        <source>显卡型号:</source>
        <translation>Graphics adapter:</translation>
    </message>
    <message>
        <source>显卡驱动:</source>
        <translation>Graphics driver:</translation>
    </message>
    <message>
        <source>OpenGL:</source>
        <translation>OpenGL:</translation>
    </message>
    <message>
        <source>接收视频帧率:</source>
        <translation>Video received/s:</translation>
    </message>
    <message>
        <source>解码视频帧率:</source>
        <translation>Video decoded/s:</translation>
    </message>
    <message>
        <source>接收音频帧率:</source>
        <translation>Audio received/s:</translation>
    </message>
    <message>
        <source>解码音频帧率:</source>
        <translation>Audio decoded/s:</translation>
    </message>
    <message>
        <source>当前通道:</source>
        <translation>Channel:</translation>
    </message>
    <message>
        <source>视频帧宽度:</source>
        <translation>Picture width:</translation>
    </message>
    <message>
        <source>视频帧高度:</source>
        <translation>Picture height:</translation>
    </message>
    <message>
        <source>编码格式:</source>
        <translation>Codec:</translation>
    </message>
    <message>
        <source>码流类型:</source>
        <translation>Stream:</translation>
    </message>
    <message>
        <source>通道接收帧率:</source>
        <translation>Frames received/s:</translation>
    </message>
    <message>
        <source>通道显示帧率:</source>
        <translation>Frames drawn/s:</translation>
    </message>
    <message>
        <source>码率:</source>
        <translation>Bit rate:</translation>
    </message>
    <message>
        <source>丢帧数:</source>
        <translation>Dropped frames:</translation>
    </message>
    <message>
        <source>传输延时:</source>
        <translation>Delay:</translation>
    </message>
    <message>
        <source>设备版本号:</source>
        <translation>Device version:</translation>
    </message>
    <message>
        <source>最近一分钟的码率</source>
        <translation>Bit rate over the last minute</translation>
    </message>
    <message>
        <source>高清</source>
        <translation>HD</translation>
    </message>
    <message>
        <source>标清</source>
        <translation>SD</translation>
    </message>
</context>
<context>
    <name>SystemInfo</name>
    <message>
        <source>64位</source>
        <translation>64-bit</translation>
    </message>
    <message>
        <source>32位</source>
        <translation>32-bit</translation>
    </message>
</context>
<context>
    <name>UserManage</name>
    <message>
        <source>E-mail:</source>
        <translation>E-mail:</translation>
    </message>
    <message>
        <source>Phone:</source>
        <translation>Phone:</translation>
    </message>
    <message>
        <source>Nick Name:</source>
        <translation>Nick Name:</translation>
    </message>
    <message>
        <source>Change</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>Old password:</source>
        <translation>Old password:</translation>
    </message>
    <message>
        <source>New password:</source>
        <translation>New password:</translation>
    </message>
    <message>
        <source>Repeat:</source>
        <translation>Repeat:</translation>
    </message>
    <message>
        <source>Icon:</source>
        <translation>Icon:</translation>
    </message>
    <message>
        <source>Browse...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>Upload</translation>
    </message>
    <message>
        <source>Nick Name has changed.</source>
        <translation>Nick Name has changed.</translation>
    </message>
    <message>
        <source>Operation Failed!</source>
        <translation>Operation Failed!</translation>
    </message>
    <message>
        <source>The new passwords do not match.</source>
        <translation>The new passwords do not match.</translation>
    </message>
    <message>
        <source>The new password is the old one.</source>
        <translation>The new password is the old one.</translation>
    </message>
    <message>
        <source>PassWord has changed.</source>
        <translation>PassWord has changed.</translation>
    </message>
    <message>
        <source>Choose Icon File</source>
        <translation>Choose Icon File</translation>
    </message>
    <message>
        <source>Images (*.png *.jpeg *.jpg)</source>
        <translation>Images (*.png *.jpeg *.jpg)</translation>
    </message>
    <message>
        <source>The file cannot be opened.</source>
        <translation>The file cannot be opened.</translation>
    </message>
    <message>
        <source>The picture is larger than 5 MB.</source>
        <translation>The picture is larger than 5 MB.</translation>
    </message>
    <message>
        <source>Icon has changed.</source>
        <translation>Icon has changed.</translation>
    </message>
</context>
<context>
    <name>VideoRecord</name>
    <message>
        <source>Recording of %1 stopped: %2</source>
        <translation>Recording of %1 stopped: %2</translation>
    </message>
    <message>
        <source>no picture to save yet</source>
        <translation>no picture to save yet</translation>
    </message>
    <message>
        <source>out of memory</source>
        <translation>out of memory</translation>
    </message>
    <message>
        <source>Snapshot of %1 not saved: %2</source>
        <translation>Snapshot of %1 not saved: %2</translation>
    </message>
</context>
<context>
    <name>ViewControl</name>
    <message>
        <source>离线 — 正在重新连接…</source>
        <translation>Offline — reconnecting…</translation>
    </message>
    <message>
        <source>已被设备拒绝 — 请编辑设备</source>
        <translation>Refused by the device — edit the device</translation>
    </message>
    <message>
        <source>下次尝试 %1</source>
        <translation>next try at %1</translation>
    </message>
    <message>
        <source>无视频</source>
        <translation>No video</translation>
    </message>
</context>
<context>
    <name>WindowLogin</name>
    <message>
        <source>Login</source>
        <translation>Login</translation>
    </message>
    <message>
        <source>Remember password</source>
        <translation>Remember password</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>中文(简体)</source>
        <translation>中文(简体)</translation>
    </message>
    <message>
        <source>Sign in</source>
        <translation>Sign in</translation>
    </message>
    <message>
        <source>Local login</source>
        <translation>Local login</translation>
    </message>
    <message>
        <source>Sign up</source>
        <translation>Sign up</translation>
    </message>
    <message>
        <source>Forgot password?</source>
        <translation>Forgot password?</translation>
    </message>
    <message>
        <source>Please enter the username.</source>
        <translation>Please enter the username.</translation>
    </message>
    <message>
        <source>Please enter the password.</source>
        <translation>Please enter the password.</translation>
    </message>
    <message>
        <source>The account service is not configured. Use the local login instead.</source>
        <translation>The account service is not configured. Use the local login instead.</translation>
    </message>
    <message>
        <source>Signing in, please wait...</source>
        <translation>Signing in, please wait...</translation>
    </message>
    <message>
        <source>Enter your username</source>
        <translation>Enter your username</translation>
    </message>
    <message>
        <source>Enter your password</source>
        <translation>Enter your password</translation>
    </message>
    <message>
        <source>Hide password</source>
        <translation>Hide password</translation>
    </message>
    <message>
        <source>Show password</source>
        <translation>Show password</translation>
    </message>
    <message>
        <source>The account service cannot be reached.</source>
        <translation>The account service cannot be reached.</translation>
    </message>
</context>
<context>
    <name>ActionNotices</name>
    <message>
        <source>截图已保存：%1</source>
        <translation>Snapshot saved: %1</translation>
    </message>
    <message>
        <source>开始录像：%1</source>
        <translation>Recording: %1</translation>
    </message>
    <message>
        <source>录像已保存：%1</source>
        <translation>Recording saved: %1</translation>
    </message>
    <message>
        <source>请先在画面中选择一个通道</source>
        <translation>Select a channel in the grid first</translation>
    </message>
    <message>
        <source>打开文件夹</source>
        <translation>Open folder</translation>
    </message>
</context>
</TS>
