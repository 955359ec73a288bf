<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>AddDev</name>
    <message>
        <source>请在主界面设备列表选择需要编辑的设备</source>
        <translation>请在主界面设备列表选择需要编辑的设备</translation>
    </message>
    <message>
        <source>设备类型:</source>
        <translation>设备类型:</translation>
    </message>
    <message>
        <source>设备名称:</source>
        <translation>设备名称:</translation>
    </message>
    <message>
        <source>设备ID:</source>
        <translation>设备ID:</translation>
    </message>
    <message>
        <source>用户名:</source>
        <translation>用户名:</translation>
    </message>
    <message>
        <source>密码:</source>
        <translation>密码:</translation>
    </message>
    <message>
        <source>通道数:</source>
        <translation>通道数:</translation>
    </message>
    <message>
        <source>系统提示:</source>
        <translation>系统提示:</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>请选择设备类型</source>
        <translation>请选择设备类型</translation>
    </message>
    <message>
        <source>设备ID不能为空</source>
        <translation>设备ID不能为空</translation>
    </message>
    <message>
        <source>设备ID只能由字母、数字、&quot;-&quot;和&quot;_&quot;组成，最长64个字符</source>
        <translation>设备ID只能由字母、数字、&quot;-&quot;和&quot;_&quot;组成，最长64个字符</translation>
    </message>
    <message>
        <source>通道数必须是1到64之间的整数</source>
        <translation>通道数必须是1到64之间的整数</translation>
    </message>
    <message>
        <source>设备名称、用户名和密码最长128个字符</source>
        <translation>设备名称、用户名和密码最长128个字符</translation>
    </message>
    <message>
        <source>本地设备数量已达上限</source>
        <translation>本地设备数量已达上限</translation>
    </message>
    <message>
        <source>该设备ID已存在</source>
        <translation>该设备ID已存在</translation>
    </message>
    <message>
        <source>无法写入配置文件</source>
        <translation>无法写入配置文件</translation>
    </message>
    <message>
        <source>添加成功</source>
        <translation>添加成功</translation>
    </message>
    <message>
        <source>修改成功</source>
        <translation>修改成功</translation>
    </message>
    <message>
        <source>未找到该设备</source>
        <translation>未找到该设备</translation>
    </message>
    <message>
        <source>删除成功</source>
        <translation>删除成功</translation>
    </message>
    <message>
        <source>添加失败</source>
        <translation>添加失败</translation>
    </message>
    <message>
        <source>添加失败: %1</source>
        <translation>添加失败: %1</translation>
    </message>
    <message>
        <source>修改失败</source>
        <translation>修改失败</translation>
    </message>
    <message>
        <source>修改失败: %1</source>
        <translation>修改失败: %1</translation>
    </message>
    <message>
        <source>删除失败</source>
        <translation>删除失败</translation>
    </message>
    <message>
        <source>删除失败: %1</source>
        <translation>删除失败: %1</translation>
    </message>
    <message>
        <source>忘记密钥</source>
        <translation>忘记密钥</translation>
    </message>
    <message>
        <source>设备密钥:</source>
        <translation>设备密钥:</translation>
    </message>
    <message>
        <source>未固定（下次连接时信任设备出示的密钥）</source>
        <translation>未固定（下次连接时信任设备出示的密钥）</translation>
    </message>
    <message>
        <source>已忘记设备密钥</source>
        <translation>已忘记设备密钥</translation>
    </message>
    <message>
        <source>接入方式:</source>
        <translation>接入方式:</translation>
    </message>
    <message>
        <source>RTSP地址:</source>
        <translation>RTSP地址:</translation>
    </message>
    <message>
        <source>ONVIF地址:</source>
        <translation>ONVIF地址:</translation>
    </message>
    <message>
        <source>传输:</source>
        <translation>传输:</translation>
    </message>
    <message>
        <source>RTSP地址无效: %1</source>
        <translation>RTSP地址无效: %1</translation>
    </message>
    <message>
        <source>ONVIF地址应为 host 或 host:port</source>
        <translation>ONVIF地址应为 host 或 host:port</translation>
    </message>
    <message>
        <source>正在连接ONVIF设备...</source>
        <translation>正在连接ONVIF设备...</translation>
    </message>
    <message>
        <source>ONVIF设备无应答: %1</source>
        <translation>ONVIF设备无应答: %1</translation>
    </message>
</context>
<context>
    <name>Alert</name>
    <message>
        <source>错误码:</source>
        <translation>错误码:</translation>
    </message>
    <message>
        <source>设备:</source>
        <translation>设备:</translation>
    </message>
    <message>
        <source>信息:</source>
        <translation>信息:</translation>
    </message>
    <message>
        <source>%1 (%2 times)</source>
        <translation>%1 (%2 次)</translation>
    </message>
</context>
<context>
    <name>AlertList</name>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>设备</translation>
    </message>
    <message>
        <source>Code</source>
        <translation>错误码</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>信息</translation>
    </message>
    <message>
        <source>Count</source>
        <translation>次数</translation>
    </message>
</context>
<context>
    <name>ControlPanel</name>
    <message>
        <source>本地配置</source>
        <translation>本地配置</translation>
    </message>
    <message>
        <source>用户管理</source>
        <translation>用户管理</translation>
    </message>
    <message>
        <source>时间搜索</source>
        <translation>时间搜索</translation>
    </message>
    <message>
        <source>Debug记录</source>
        <translation>Debug记录</translation>
    </message>
    <message>
        <source>事件搜索</source>
        <translation>事件搜索</translation>
    </message>
    <message>
        <source>日志搜索</source>
        <translation>日志搜索</translation>
    </message>
    <message>
        <source>控制面板</source>
        <translation>控制面板</translation>
    </message>
</context>
<context>
    <name>Cruise</name>
    <message>
        <source>开始巡航</source>
        <translation>开始巡航</translation>
    </message>
    <message>
        <source>自动巡航</source>
        <translation>自动巡航</translation>
    </message>
    <message>
        <source>停止巡航</source>
        <translation>停止巡航</translation>
    </message>
</context>
<context>
    <name>DebugRecord</name>
    <message>
        <source>全部级别</source>
        <translation>全部级别</translation>
    </message>
    <message>
        <source>显示所选级别及更高级别的记录</source>
        <translation>显示所选级别及更高级别的记录</translation>
    </message>
    <message>
        <source>筛选文字</source>
        <translation>筛选文字</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>复制</translation>
    </message>
    <message>
        <source>保存...</source>
        <translation>保存...</translation>
    </message>
    <message>
        <source>已复制 %1 行</source>
        <translation>已复制 %1 行</translation>
    </message>
    <message>
        <source>保存日志</source>
        <translation>保存日志</translation>
    </message>
    <message>
        <source>日志文件 (*.log *.txt)</source>
        <translation>日志文件 (*.log *.txt)</translation>
    </message>
    <message>
        <source>已保存到 %1</source>
        <translation>已保存到 %1</translation>
    </message>
    <message>
        <source>无法保存 %1: %2</source>
        <translation>无法保存 %1: %2</translation>
    </message>
</context>
<context>
    <name>DevManage</name>
    <message>
        <source>设备管理</source>
        <translation>设备管理</translation>
    </message>
    <message>
        <source>添加设备</source>
        <translation>添加设备</translation>
    </message>
    <message>
        <source>编辑设备</source>
        <translation>编辑设备</translation>
    </message>
    <message>
        <source>局域网搜索</source>
        <translation>局域网搜索</translation>
    </message>
    <message>
        <source>设备设置</source>
        <translation>设备设置</translation>
    </message>
</context>
<context>
    <name>DevMenu</name>
    <message>
        <source>播放</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>全部播放</source>
        <translation>全部播放</translation>
    </message>
    <message>
        <source>全部停止</source>
        <translation>全部停止</translation>
    </message>
    <message>
        <source>标清</source>
        <translation>标清</translation>
    </message>
    <message>
        <source>高清</source>
        <translation>高清</translation>
    </message>
    <message>
        <source>接收音频</source>
        <translation>接收音频</translation>
    </message>
    <message>
        <source>静音</source>
        <translation>静音</translation>
    </message>
    <message>
        <source>发起对讲</source>
        <translation>发起对讲</translation>
    </message>
    <message>
        <source>编辑设备</source>
        <translation>编辑设备</translation>
    </message>
    <message>
        <source>重置连接</source>
        <translation>重置连接</translation>
    </message>
</context>
<context>
    <name>DevOpt</name>
    <message>
        <source>请在主界面设备列表选择需要编辑的通道(多通道设备需选择目标通道)</source>
        <translation>请在主界面设备列表选择需要编辑的通道(多通道设备需选择目标通道)</translation>
    </message>
    <message>
        <source>[未选择]</source>
        <translation>[未选择]</translation>
    </message>
    <message>
        <source>设备昵称:</source>
        <translation>设备昵称:</translation>
    </message>
    <message>
        <source>设备UID :</source>
        <translation>设备UID :</translation>
    </message>
    <message>
        <source>设备类型:</source>
        <translation>设备类型:</translation>
    </message>
    <message>
        <source>系统提示:</source>
        <translation>系统提示:</translation>
    </message>
    <message>
        <source>WIFI名称:</source>
        <translation>WIFI名称:</translation>
    </message>
    <message>
        <source>WIFI密码:</source>
        <translation>WIFI密码:</translation>
    </message>
    <message>
        <source>提交</source>
        <translation>提交</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>扫描二维码配置WIFI</source>
        <translation>扫描二维码配置WIFI</translation>
    </message>
    <message>
        <source>时区:</source>
        <translation>时区:</translation>
    </message>
    <message>
        <source>时间:</source>
        <translation>时间:</translation>
    </message>
    <message>
        <source>wifi名不能为空</source>
        <translation>wifi名不能为空</translation>
    </message>
    <message>
        <source>时区修改成功</source>
        <translation>时区修改成功</translation>
    </message>
    <message>
        <source>时间修改成功</source>
        <translation>时间修改成功</translation>
    </message>
    <message>
        <source>wifi配置成功</source>
        <translation>wifi配置成功</translation>
    </message>
</context>
<context>
    <name>Device</name>
    <message>
        <source>[未知类型:</source>
        <translation>[未知类型:</translation>
    </message>
</context>
<context>
    <name>GlWidgetViewWindow</name>
    <message>
        <source>超高清视频,请关闭其他通道播放以免占用过多资源</source>
        <translation>超高清视频,请关闭其他通道播放以免占用过多资源</translation>
    </message>
</context>
<context>
    <name>IoConnect</name>
    <message>
        <source>Playback video data does not exist.</source>
        <translation>回放视频数据不存在。</translation>
    </message>
    <message>
        <source>Failed to configure wireless network</source>
        <translation>配置无线网络失败</translation>
    </message>
    <message>
        <source>Does not support simultaneous remote playback.</source>
        <translation>不支持同时进行远程回放。</translation>
    </message>
    <message>
        <source>设备无法修改时区</source>
        <translation>设备无法修改时区</translation>
    </message>
    <message>
        <source>Not Found Input Device.</source>
        <translation>未找到输入设备。</translation>
    </message>
    <message>
        <source>The device did not change the quality</source>
        <translation>设备未更改画质</translation>
    </message>
    <message>
        <source>设备 %1 出示的密钥不是为它信任的密钥（信任：%2；出示：%3）。连接已被拒绝。如果设备已重置或更换，请在设备管理中忘记它的密钥。</source>
        <translation>设备 %1 出示的密钥不是为它信任的密钥（信任：%2；出示：%3）。连接已被拒绝。如果设备已重置或更换，请在设备管理中忘记它的密钥。</translation>
    </message>
</context>
<context>
    <name>LocalSetting</name>
    <message>
        <source>1 到 %1 分钟</source>
        <translation>1 到 %1 分钟</translation>
    </message>
    <message>
        <source>浏览...</source>
        <translation>浏览...</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>数据设置</source>
        <translation>数据设置</translation>
    </message>
    <message>
        <source>数据保存路径:</source>
        <translation>数据保存路径:</translation>
    </message>
    <message>
        <source>截图设置</source>
        <translation>截图设置</translation>
    </message>
    <message>
        <source>截图保存路径:</source>
        <translation>截图保存路径:</translation>
    </message>
    <message>
        <source>录像设置</source>
        <translation>录像设置</translation>
    </message>
    <message>
        <source>录像保存路径:</source>
        <translation>录像保存路径:</translation>
    </message>
    <message>
        <source>打包时长(分):</source>
        <translation>打包时长(分):</translation>
    </message>
    <message>
        <source>请填写文件夹</source>
        <translation>请填写文件夹</translation>
    </message>
    <message>
        <source>请填写完整的文件夹路径: %1</source>
        <translation>请填写完整的文件夹路径: %1</translation>
    </message>
    <message>
        <source>文件夹不存在: %1</source>
        <translation>文件夹不存在: %1</translation>
    </message>
    <message>
        <source>不是文件夹: %1</source>
        <translation>不是文件夹: %1</translation>
    </message>
    <message>
        <source>文件夹不可写: %1</source>
        <translation>文件夹不可写: %1</translation>
    </message>
    <message>
        <source>Choose Directory</source>
        <translation>选择文件夹</translation>
    </message>
    <message>
        <source>打包时长(分): 请填写 1 到 %1 之间的整数</source>
        <translation>打包时长(分): 请填写 1 到 %1 之间的整数</translation>
    </message>
    <message>
        <source>没有需要保存的更改</source>
        <translation>没有需要保存的更改</translation>
    </message>
    <message>
        <source>Operation Failed</source>
        <translation>操作失败</translation>
    </message>
    <message>
        <source>已保存</source>
        <translation>已保存</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Orvane网络视频监控</source>
        <translation>Orvane网络视频监控</translation>
    </message>
    <message>
        <source>控制面板</source>
        <translation>控制面板</translation>
    </message>
    <message>
        <source>设备列表</source>
        <translation>设备列表</translation>
    </message>
    <message>
        <source>云台控制</source>
        <translation>云台控制</translation>
    </message>
    <message>
        <source>码流信息</source>
        <translation>码流信息</translation>
    </message>
    <message>
        <source>实时预览</source>
        <translation>实时预览</translation>
    </message>
    <message>
        <source>远程回放</source>
        <translation>远程回放</translation>
    </message>
    <message>
        <source>[未选择设备]</source>
        <translation>[未选择设备]</translation>
    </message>
</context>
<context>
    <name>MenuDevList</name>
    <message>
        <source>搜索设备</source>
        <translation>搜索设备</translation>
    </message>
    <message>
        <source>设备管理</source>
        <translation>设备管理</translation>
    </message>
</context>
<context>
    <name>MenuListDev</name>
    <message>
        <source>通道</source>
        <translation>通道</translation>
    </message>
</context>
<context>
    <name>MenuPtz</name>
    <message>
        <source>变倍</source>
        <translation>变倍</translation>
    </message>
    <message>
        <source>聚焦</source>
        <translation>聚焦</translation>
    </message>
    <message>
        <source>光圈</source>
        <translation>光圈</translation>
    </message>
    <message>
        <source>步长(1-8):</source>
        <translation>步长(1-8):</translation>
    </message>
    <message>
        <source>预置点</source>
        <translation>预置点</translation>
    </message>
    <message>
        <source>巡航线</source>
        <translation>巡航线</translation>
    </message>
    <message>
        <source>色彩调节</source>
        <translation>色彩调节</translation>
    </message>
</context>
<context>
    <name>OnvifDeviceControl</name>
    <message>
        <source>Not supported over ONVIF</source>
        <translation>ONVIF不支持此操作</translation>
    </message>
    <message>
        <source>Invalid time</source>
        <translation>时间无效</translation>
    </message>
    <message>
        <source>Unknown time zone</source>
        <translation>未知时区</translation>
    </message>
    <message>
        <source>The device gave an invalid stream URL: %1</source>
        <translation>设备给出的码流地址无效: %1</translation>
    </message>
    <message>
        <source>No valid ONVIF host</source>
        <translation>没有有效的ONVIF地址</translation>
    </message>
    <message>
        <source>The device&apos;s ONVIF settings changed</source>
        <translation>设备的ONVIF设置已更改</translation>
    </message>
    <message>
        <source>The device has no media profile</source>
        <translation>设备没有媒体配置</translation>
    </message>
    <message>
        <source>The device has no such video source</source>
        <translation>设备没有该视频源</translation>
    </message>
</context>
<context>
    <name>Point</name>
    <message>
        <source>新增预置点</source>
        <translation>新增预置点</translation>
    </message>
    <message>
        <source>前往预制点</source>
        <translation>前往预制点</translation>
    </message>
</context>
<context>
    <name>ProgressBar</name>
    <message>
        <source>当天没有录像</source>
        <translation>当天没有录像</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>No response</source>
        <translation>无响应</translation>
    </message>
    <message>
        <source>Cannot resolve domain name</source>
        <translation>无法解析域名</translation>
    </message>
    <message>
        <source>Module already initialized</source>
        <translation>模块已初始化</translation>
    </message>
    <message>
        <source>Fails to create Mutexes</source>
        <translation>创建互斥锁失败</translation>
    </message>
    <message>
        <source>Fails to create threads</source>
        <translation>创建线程失败</translation>
    </message>
    <message>
        <source>Fails to create sockets</source>
        <translation>创建套接字失败</translation>
    </message>
    <message>
        <source>Fails to set up socket options</source>
        <translation>设置套接字选项失败</translation>
    </message>
    <message>
        <source>Fails to bind sockets</source>
        <translation>绑定套接字失败</translation>
    </message>
    <message>
        <source>UID is not licensed or expired</source>
        <translation>UID未授权或已过期</translation>
    </message>
    <message>
        <source>Already login</source>
        <translation>已登录</translation>
    </message>
    <message>
        <source>Module is not initialized</source>
        <translation>模块未初始化</translation>
    </message>
    <message>
        <source>Time out</source>
        <translation>超时</translation>
    </message>
    <message>
        <source>SID invalid</source>
        <translation>SID无效</translation>
    </message>
    <message>
        <source>Unknown device</source>
        <translation>未知设备</translation>
    </message>
    <message>
        <source>Fails to get the local IP</source>
        <translation>获取本机IP失败</translation>
    </message>
    <message>
        <source>Already start</source>
        <translation>已启动</translation>
    </message>
    <message>
        <source>Sessions has reached maximum</source>
        <translation>会话数已达上限</translation>
    </message>
    <message>
        <source>Cannot locate the specified device</source>
        <translation>无法定位指定设备</translation>
    </message>
    <message>
        <source>Session already closes</source>
        <translation>会话已关闭</translation>
    </message>
    <message>
        <source>Session timeout</source>
        <translation>会话超时</translation>
    </message>
    <message>
        <source>Fails to connect to a device</source>
        <translation>连接设备失败</translation>
    </message>
    <message>
        <source>Channel is not turned on</source>
        <translation>通道未开启</translation>
    </message>
    <message>
        <source>Client stops connecting</source>
        <translation>客户端已停止连接</translation>
    </message>
    <message>
        <source>Too few masters are specified</source>
        <translation>指定的主服务器过少</translation>
    </message>
    <message>
        <source>A client fails to pass certification</source>
        <translation>客户端认证失败</translation>
    </message>
    <message>
        <source>The channels for a session has reached maximum</source>
        <translation>会话的通道数已达上限</translation>
    </message>
    <message>
        <source>Cannot connect</source>
        <translation>无法连接</translation>
    </message>
    <message>
        <source>Client does not support mode</source>
        <translation>客户端不支持此模式</translation>
    </message>
    <message>
        <source>A device does not support this mode</source>
        <translation>设备不支持此模式</translation>
    </message>
    <message>
        <source>A device stops for this connections</source>
        <translation>设备已停止此连接</translation>
    </message>
    <message>
        <source>No permission</source>
        <translation>没有权限</translation>
    </message>
    <message>
        <source>Network unreachable</source>
        <translation>网络不可达</translation>
    </message>
    <message>
        <source>Client fails to connect device</source>
        <translation>客户端连接设备失败</translation>
    </message>
    <message>
        <source>Device login or client connect failed</source>
        <translation>设备登录或客户端连接失败</translation>
    </message>
    <message>
        <source>Duplicated loggin and may unconnectable</source>
        <translation>重复登录,可能无法连接</translation>
    </message>
    <message>
        <source>The arguments is invalid</source>
        <translation>参数无效</translation>
    </message>
    <message>
        <source>The device not support partial encoding</source>
        <translation>设备不支持部分编码</translation>
    </message>
    <message>
        <source>Connect session exceed</source>
        <translation>连接会话数超出上限</translation>
    </message>
    <message>
        <source>Function is blocking,waiting</source>
        <translation>函数阻塞中,请等待</translation>
    </message>
    <message>
        <source>Session close</source>
        <translation>会话关闭</translation>
    </message>
    <message>
        <source>Buffer size exceed</source>
        <translation>缓冲区大小超出上限</translation>
    </message>
    <message>
        <source>Cannot find a path to write data</source>
        <translation>找不到写入数据的路径</translation>
    </message>
    <message>
        <source>Start function is not called</source>
        <translation>未调用启动函数</translation>
    </message>
    <message>
        <source>Already in processing</source>
        <translation>正在处理中</translation>
    </message>
    <message>
        <source>Out of memory</source>
        <translation>内存不足</translation>
    </message>
    <message>
        <source>The device is banned and locked</source>
        <translation>设备已被禁用并锁定</translation>
    </message>
    <message>
        <source>Master have no response</source>
        <translation>主服务器无响应</translation>
    </message>
    <message>
        <source>Moudule has some resource problem</source>
        <translation>模块资源出现问题</translation>
    </message>
    <message>
        <source>Send queue is full</source>
        <translation>发送队列已满</translation>
    </message>
    <message>
        <source>The feature is not supported</source>
        <translation>不支持该功能</translation>
    </message>
    <message>
        <source>Device is in sleep mode</source>
        <translation>设备处于休眠模式</translation>
    </message>
    <message>
        <source>Doesn&apos;t support this feature</source>
        <translation>不支持此功能</translation>
    </message>
    <message>
        <source>WakeUp Init funtion isn&apos;t called</source>
        <translation>未调用唤醒初始化函数</translation>
    </message>
    <message>
        <source>Device offline</source>
        <translation>设备离线</translation>
    </message>
    <message>
        <source>Master invalid</source>
        <translation>主服务器无效</translation>
    </message>
    <message>
        <source>Arguments incorrect</source>
        <translation>参数错误</translation>
    </message>
    <message>
        <source>Buffer is too small</source>
        <translation>缓冲区太小</translation>
    </message>
    <message>
        <source>The channels has reached maximum</source>
        <translation>通道数已达上限</translation>
    </message>
    <message>
        <source>Insufficient memory</source>
        <translation>内存不足</translation>
    </message>
    <message>
        <source>A warning error</source>
        <translation>警告错误</translation>
    </message>
    <message>
        <source>The buffer to be sent exceeds</source>
        <translation>待发送的缓冲区超出上限</translation>
    </message>
    <message>
        <source>Has no response</source>
        <translation>无响应</translation>
    </message>
    <message>
        <source>Client does not start</source>
        <translation>客户端未启动</translation>
    </message>
    <message>
        <source>Incorrect view account or password</source>
        <translation>观看账号或密码错误</translation>
    </message>
    <message>
        <source>Session is not valid</source>
        <translation>会话无效</translation>
    </message>
    <message>
        <source>Timeout has expired</source>
        <translation>已超时</translation>
    </message>
    <message>
        <source>Not ready for receiving</source>
        <translation>尚未准备好接收</translation>
    </message>
    <message>
        <source>Some parts of a frame are lost</source>
        <translation>帧的部分数据丢失</translation>
    </message>
    <message>
        <source>The whole frame is lost</source>
        <translation>整帧丢失</translation>
    </message>
    <message>
        <source>The remote session already closes</source>
        <translation>远端会话已关闭</translation>
    </message>
    <message>
        <source>Session is disconnected</source>
        <translation>会话已断开</translation>
    </message>
    <message>
        <source>Server exit</source>
        <translation>服务器已退出</translation>
    </message>
    <message>
        <source>Client exit</source>
        <translation>客户端已退出</translation>
    </message>
    <message>
        <source>Module has not been initialized</source>
        <translation>模块尚未初始化</translation>
    </message>
    <message>
        <source>Client cannot send data</source>
        <translation>客户端无法发送数据</translation>
    </message>
    <message>
        <source>Already in sending</source>
        <translation>正在发送中</translation>
    </message>
    <message>
        <source>Sending  is terminated </source>
        <translation>发送已终止</translation>
    </message>
    <message>
        <source>Password length is wrong</source>
        <translation>密码长度错误</translation>
    </message>
    <message>
        <source>Session has been closed</source>
        <translation>会话已被关闭</translation>
    </message>
    <message>
        <source>Moudule deinitialized</source>
        <translation>模块已反初始化</translation>
    </message>
    <message>
        <source>Channel is used</source>
        <translation>通道已被占用</translation>
    </message>
    <message>
        <source>Waiting key frame</source>
        <translation>等待关键帧</translation>
    </message>
    <message>
        <source>Reset buffer</source>
        <translation>重置缓冲区</translation>
    </message>
    <message>
        <source>Queue is full</source>
        <translation>队列已满</translation>
    </message>
    <message>
        <source>Module is already initialized</source>
        <translation>模块已经初始化</translation>
    </message>
    <message>
        <source>Clean buffer </source>
        <translation>清空缓冲区</translation>
    </message>
    <message>
        <source>编号</source>
        <translation>编号</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>The device&apos;s key is not the key trusted for it</source>
        <translation>设备的密钥不是为它信任的密钥</translation>
    </message>
    <message>
        <source>The secure connection to the device failed</source>
        <translation>与设备的安全连接失败</translation>
    </message>
</context>
<context>
    <name>RtspDeviceLink</name>
    <message>
        <source>No stream URL for this channel</source>
        <translation>该通道没有视频流地址</translation>
    </message>
</context>
<context>
    <name>SearchDev</name>
    <message>
        <source>编号</source>
        <translation>编号</translation>
    </message>
    <message>
        <source>UID</source>
        <translation>UID</translation>
    </message>
    <message>
        <source>系统版本</source>
        <translation>系统版本</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>类型</translation>
    </message>
    <message>
        <source>通道</source>
        <translation>通道</translation>
    </message>
    <message>
        <source>IP地址</source>
        <translation>IP地址</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>端口</translation>
    </message>
    <message>
        <source>搜索失败: [%1]%2</source>
        <translation>搜索失败: [%1]%2</translation>
    </message>
</context>
<context>
    <name>System</name>
    <message>
        <source>软件版本:</source>
        <translation>软件版本:</translation>
    </message>
    <message>
        <source>系统版本:</source>
        <translation>系统版本:</translation>
    </message>
    <message>
        <source>显卡型号:</source>
        <translation>显卡型号:</translation>
    </message>
    <message>
        <source>显卡驱动:</source>
        <translation>显卡驱动:</translation>
    </message>
    <message>
        <source>OpenGL:</source>
        <translation>OpenGL:</translation>
    </message>
    <message>
        <source>接收视频帧率:</source>
        <translation>接收视频帧率:</translation>
    </message>
    <message>
        <source>解码视频帧率:</source>
        <translation>解码视频帧率:</translation>
    </message>
    <message>
        <source>接收音频帧率:</source>
        <translation>接收音频帧率:</translation>
    </message>
    <message>
        <source>解码音频帧率:</source>
        <translation>解码音频帧率:</translation>
    </message>
    <message>
        <source>当前通道:</source>
        <translation>当前通道:</translation>
    </message>
    <message>
        <source>视频帧宽度:</source>
        <translation>视频帧宽度:</translation>
    </message>
    <message>
        <source>视频帧高度:</source>
        <translation>视频帧高度:</translation>
    </message>
    <message>
        <source>编码格式:</source>
        <translation>编码格式:</translation>
    </message>
    <message>
        <source>码流类型:</source>
        <translation>码流类型:</translation>
    </message>
    <message>
        <source>通道接收帧率:</source>
        <translation>通道接收帧率:</translation>
    </message>
    <message>
        <source>通道显示帧率:</source>
        <translation>通道显示帧率:</translation>
    </message>
    <message>
        <source>码率:</source>
        <translation>码率:</translation>
    </message>
    <message>
        <source>丢帧数:</source>
        <translation>丢帧数:</translation>
    </message>
    <message>
        <source>传输延时:</source>
        <translation>传输延时:</translation>
    </message>
    <message>
        <source>设备版本号:</source>
        <translation>设备版本号:</translation>
    </message>
    <message>
        <source>最近一分钟的码率</source>
        <translation>最近一分钟的码率</translation>
    </message>
    <message>
        <source>高清</source>
        <translation>高清</translation>
    </message>
    <message>
        <source>标清</source>
        <translation>标清</translation>
    </message>
</context>
<context>
    <name>SystemInfo</name>
    <message>
        <source>64位</source>
        <translation>64位</translation>
    </message>
    <message>
        <source>32位</source>
        <translation>32位</translation>
    </message>
</context>
<context>
    <name>UserManage</name>
    <message>
        <source>Sign out</source>
        <translation>退出登录</translation>
    </message>
    <message>
        <source>Choose a picture file first.</source>
        <translation>请先选择图片文件。</translation>
    </message>
    <message>
        <source>E-mail:</source>
        <translation>邮箱:</translation>
    </message>
    <message>
        <source>Phone:</source>
        <translation>电话:</translation>
    </message>
    <message>
        <source>Nick Name:</source>
        <translation>昵称:</translation>
    </message>
    <message>
        <source>Change</source>
        <translation>修改</translation>
    </message>
    <message>
        <source>Old password:</source>
        <translation>旧密码:</translation>
    </message>
    <message>
        <source>New password:</source>
        <translation>新密码:</translation>
    </message>
    <message>
        <source>Repeat:</source>
        <translation>确认密码:</translation>
    </message>
    <message>
        <source>Icon:</source>
        <translation>头像:</translation>
    </message>
    <message>
        <source>Browse...</source>
        <translation>浏览...</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>上传</translation>
    </message>
    <message>
        <source>Nick Name has changed.</source>
        <translation>昵称已修改。</translation>
    </message>
    <message>
        <source>Operation Failed!</source>
        <translation>操作失败!</translation>
    </message>
    <message>
        <source>The new passwords do not match.</source>
        <translation>新密码输入不一致。</translation>
    </message>
    <message>
        <source>The new password is the old one.</source>
        <translation>新旧密码相同。</translation>
    </message>
    <message>
        <source>PassWord has changed.</source>
        <translation>密码已修改。</translation>
    </message>
    <message>
        <source>Choose Icon File</source>
        <translation>选择头像文件</translation>
    </message>
    <message>
        <source>Images (*.png *.jpeg *.jpg)</source>
        <translation>图片 (*.png *.jpeg *.jpg)</translation>
    </message>
    <message>
        <source>The file cannot be opened.</source>
        <translation>无法打开文件。</translation>
    </message>
    <message>
        <source>The picture is larger than 5 MB.</source>
        <translation>图片大于 5 MB。</translation>
    </message>
    <message>
        <source>Icon has changed.</source>
        <translation>头像已修改。</translation>
    </message>
</context>
<context>
    <name>VideoRecord</name>
    <message>
        <source>Recording of %1 stopped: %2</source>
        <translation>%1 的录像已停止：%2</translation>
    </message>
    <message>
        <source>no picture to save yet</source>
        <translation>还没有可保存的画面</translation>
    </message>
    <message>
        <source>out of memory</source>
        <translation>内存不足</translation>
    </message>
    <message>
        <source>Snapshot of %1 not saved: %2</source>
        <translation>%1 的截图未保存：%2</translation>
    </message>
</context>
<context>
    <name>ViewControl</name>
    <message>
        <source>离线 — 正在重新连接…</source>
        <translation>离线 — 正在重新连接…</translation>
    </message>
    <message>
        <source>已被设备拒绝 — 请编辑设备</source>
        <translation>已被设备拒绝 — 请编辑设备</translation>
    </message>
    <message>
        <source>下次尝试 %1</source>
        <translation>下次尝试 %1</translation>
    </message>
    <message>
        <source>无视频</source>
        <translation>无视频</translation>
    </message>
</context>
<context>
    <name>WindowLogin</name>
    <message>
        <source>The account service ended the session (%1). Sign in again.</source>
        <translation>账号服务已结束会话（%1），请重新登录。</translation>
    </message>
    <message>
        <source>Login</source>
        <translation>登录</translation>
    </message>
    <message>
        <source>Remember password</source>
        <translation>记住密码</translation>
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
        <translation>登 录</translation>
    </message>
    <message>
        <source>Local login</source>
        <translation>本地登录</translation>
    </message>
    <message>
        <source>Sign up</source>
        <translation>注册账号</translation>
    </message>
    <message>
        <source>Forgot password?</source>
        <translation>忘记密码？</translation>
    </message>
    <message>
        <source>Please enter the username.</source>
        <translation>请输入用户名。</translation>
    </message>
    <message>
        <source>Please enter the password.</source>
        <translation>请输入密码。</translation>
    </message>
    <message>
        <source>The account service is not configured. Use the local login instead.</source>
        <translation>未配置账号服务，请使用本地登录。</translation>
    </message>
    <message>
        <source>Signing in, please wait...</source>
        <translation>正在登录，请稍候...</translation>
    </message>
    <message>
        <source>Enter your username</source>
        <translation>请输入用户名</translation>
    </message>
    <message>
        <source>Enter your password</source>
        <translation>请输入密码</translation>
    </message>
    <message>
        <source>Hide password</source>
        <translation>隐藏密码</translation>
    </message>
    <message>
        <source>Show password</source>
        <translation>显示密码</translation>
    </message>
    <message>
        <source>The account service cannot be reached.</source>
        <translation>无法连接账户服务。</translation>
    </message>
</context>
</TS>
