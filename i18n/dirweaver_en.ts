<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Dirweaver</name>
    <message>
        <source>预览文件已写好，但没有浏览器打开它。请用浏览器手动打开：
%1</source>
        <translation>The preview file is written, but no browser opened it. Open it in a browser yourself:
%1</translation>
    </message>
    <message>
        <source>
（打开程序以状态 %1 退出）</source>
        <translation>
(the opener ended with status %1)</translation>
    </message>
    <message>
        <source>找不到只属于当前用户的临时文件夹</source>
        <translation>No temporary folder that belongs to you alone was found</translation>
    </message>
    <message>
        <source>无法写入预览文件 %1：%2</source>
        <translation>Cannot write the preview file %1: %2</translation>
    </message>
    <message>
        <source>Dirweaver文本成功生成！</source>
        <translation>The page is saved.</translation>
    </message>
    <message>
        <source>无法写入文件 %1</source>
        <translation>Cannot write the file %1</translation>
    </message>
    <message>
        <source>：</source>
        <translation>:</translation>
    </message>
    <message>
        <source>进度(%)：</source>
        <translation>Done (%): </translation>
    </message>
    <message>
        <source>需处理：</source>
        <translation>To list: </translation>
    </message>
    <message>
        <source>已处理：</source>
        <translation>Listed: </translation>
    </message>
    <message>
        <source>根目录</source>
        <translation>root</translation>
    </message>
    <message>
        <source>关于软件</source>
        <translation>About</translation>
    </message>
    <message>
        <source>    我们是C++/Qt编程新手，本工具功能尚少，请多提意见。欢迎爱好C++的朋友来信交流，共享编程的乐趣！</source>
        <translation>    New to C++ and Qt, we would like to hear from you: write, and share the fun of coding!</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>作者：Dirweaver 开发组</source>
        <translation>By: Dirweaver team</translation>
    </message>
    <message>
        <source>名称：Dirweaver(目录编织器)</source>
        <translation>Name: Dirweaver (folder weaver)</translation>
    </message>
    <message>
        <source>版本：%1</source>
        <translation>Version: %1</translation>
    </message>
    <message>
        <source>发布时间：%1</source>
        <translation>Released: %1</translation>
    </message>
    <message>
        <source>功能：网页制作辅助工具。可直接生成超文本:对指定文件夹的文件迅速形相应的Dirweaver。处理文件数量不限。本软件非常容易使用，用用就会！</source>
        <translation>What it does: writes an HTML page linking every file of a folder, however many, at once. Easy: just try it!</translation>
    </message>
    <message>
        <source>多媒体文件</source>
        <translation>Media</translation>
    </message>
    <message>
        <source>Office文件</source>
        <translation>Office</translation>
    </message>
    <message>
        <source>常见设计文件</source>
        <translation>Design</translation>
    </message>
    <message>
        <source>超文本表格 (*.htm)</source>
        <translation>HTML table (*.htm)</translation>
    </message>
    <message>
        <source>超文本文件 (*.htm)</source>
        <translation>HTML file (*.htm)</translation>
    </message>
    <message>
        <source>超文本文件 UTF-8 编码 (*.htm)</source>
        <translation>HTML file, UTF-8 (*.htm)</translation>
    </message>
    <message>
        <source>生成Dirweaver文本</source>
        <translation>Save page</translation>
    </message>
    <message>
        <source>驱动器</source>
        <translation>Drive</translation>
    </message>
    <message>
        <source>目录</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>结束程序</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>网页页眉标题：</source>
        <translation>Heading:</translation>
    </message>
    <message>
        <source>IE标题</source>
        <translation>Browser title</translation>
    </message>
    <message>
        <source>链接采用绝对路径</source>
        <translation>Full paths</translation>
    </message>
    <message>
        <source>IE标题：</source>
        <translation>Title:</translation>
    </message>
    <message>
        <source>网页页眉标题</source>
        <translation>Page heading</translation>
    </message>
    <message>
        <source>网页页脚标题：</source>
        <translation>Footer:</translation>
    </message>
    <message>
        <source>源文件路径(驱动器及目录):</source>
        <translation>Source (drive and folder):</translation>
    </message>
    <message>
        <source>超文本语言源代码:</source>
        <translation>HTML source:</translation>
    </message>
    <message>
        <source>链接之间插入空行</source>
        <translation>Blank lines</translation>
    </message>
    <message>
        <source>*.* (所有文件)</source>
        <translation>*.* (all files)</translation>
    </message>
    <message>
        <source>扩展名要求:</source>
        <translation>File types:</translation>
    </message>
    <message>
        <source>链接前加项目符号</source>
        <translation>Bullets</translation>
    </message>
    <message>
        <source>左</source>
        <translation>Left</translation>
    </message>
    <message>
        <source>中</source>
        <translation>Centre</translation>
    </message>
    <message>
        <source>右</source>
        <translation>Right</translation>
    </message>
    <message>
        <source>链接项目的位置</source>
        <translation>Link position</translation>
    </message>
    <message>
        <source>更新标题</source>
        <translation>Update
titles</translation>
    </message>
    <message>
        <source>注明文件大小</source>
        <translation>File size</translation>
    </message>
    <message>
        <source>注明文件建立日期</source>
        <translation>Creation date</translation>
    </message>
    <message>
        <source>超文本预览</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>链接写成文件的完整路径；不勾选时只写文件名，网页要和文件放在一起才能用</source>
        <translation>Links carry each file&apos;s full path; unticked they hold only the name, and the page works only beside the files</translation>
    </message>
    <message>
        <source>每个链接单独成段，链接之间空一行</source>
        <translation>Each link is its own paragraph, a blank line between links</translation>
    </message>
    <message>
        <source>在每个链接前加项目符号</source>
        <translation>A bullet before each link</translation>
    </message>
    <message>
        <source>链接在网页中靠左、居中或靠右</source>
        <translation>Links stand on the left, in the centre or on the right of the page</translation>
    </message>
    <message>
        <source>在每个链接后注明文件大小</source>
        <translation>Each link is followed by the file&apos;s size</translation>
    </message>
    <message>
        <source>在每个链接后注明文件建立日期</source>
        <translation>Each link is followed by the file&apos;s creation date</translation>
    </message>
    <message>
        <source>JSON 数据 (*.json)</source>
        <translation>JSON data (*.json)</translation>
    </message>
    <message>
        <source>这里不能生成目录总览。</source>
        <translation>No catalogue can be made here.</translation>
    </message>
    <message>
        <source>正在生成目录总览……</source>
        <translation>Making the catalogue…</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>正在生成目录总览：%1 个文件夹，%2 个文件</source>
        <translation>Making the catalogue: %1 folders, %2 files</translation>
    </message>
    <message>
        <source>目录总览已生成：%1</source>
        <translation>The catalogue is written: %1</translation>
    </message>
    <message>
        <source>目录总览没有生成：%1</source>
        <translation>The catalogue was not written: %1</translation>
    </message>
    <message>
        <source>目录总览 (*.htm)</source>
        <translation>Catalogue (*.htm)</translation>
    </message>
</context>
</TS>
