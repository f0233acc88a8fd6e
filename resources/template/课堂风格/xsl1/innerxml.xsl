<?xml version="1.0" encoding="UTF-8"?>
<!--
  The inner part of a page: what the current folder holds. startxml.xsl frames
  it with the header, the navigation and the footer.

  Links are relative to the folder of the page being shown:
  - a file below the current folder: compara-dir + link
  - a sub-folder: compara-dir + "/startxml.xml", or its own index.html when it
    is a finished web page (link is then "<dir>/index.html", relative to the
    folder that holds it)
  - a navigation entry lies in a folder on the way to the current one, reached
    by going up 1 - compara-level times; stylePath holds one "../" per level,
    so its first 3 * (1 - compara-level) characters are the way up.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">

  <xsl:variable name="stylePath" select="string(/subjectResource/@stylePath)"/>
  <xsl:variable name="filesPath" select="concat($stylePath, 'startxml.files/')"/>
  <xsl:variable name="lower" select="'abcdefghijklmnopqrstuvwxyz'"/>
  <xsl:variable name="upper" select="'ABCDEFGHIJKLMNOPQRSTUVWXYZ'"/>

  <!-- The way up from the current folder, "../" times count. -->
  <xsl:template name="up">
    <xsl:param name="count"/>
    <xsl:if test="$count &gt; 0">
      <xsl:value-of select="substring($stylePath, 1, 3 * $count)"/>
    </xsl:if>
  </xsl:template>

  <!-- Address of a navigation entry (a node element). -->
  <xsl:template name="nav-href">
    <xsl:call-template name="up">
      <xsl:with-param name="count" select="1 - number(@compara-level)"/>
    </xsl:call-template>
    <xsl:choose>
      <xsl:when test="string(@link) != ''"><xsl:value-of select="@link"/></xsl:when>
      <xsl:otherwise><xsl:value-of select="concat(@dir, '/startxml.xml')"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- Address of a breadcrumb step (a path element). -->
  <xsl:template name="path-href">
    <xsl:call-template name="up">
      <xsl:with-param name="count" select="0 - number(@compara-level)"/>
    </xsl:call-template>
    <xsl:text>startxml.xml</xsl:text>
  </xsl:template>

  <!-- Address of an entry below the current folder (a subNode element). -->
  <xsl:template name="sub-href">
    <xsl:choose>
      <xsl:when test="string(@dir) = ''">
        <xsl:value-of select="concat(@compara-dir, @link)"/>
      </xsl:when>
      <xsl:when test="string(@link) != ''">
        <!-- compara-dir ends with dir; what comes before it leads to the folder holding it -->
        <xsl:value-of select="concat(substring(@compara-dir, 1, string-length(@compara-dir) - string-length(@dir)), @link)"/>
      </xsl:when>
      <xsl:otherwise>
        <xsl:value-of select="concat(@compara-dir, '/startxml.xml')"/>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- The lower-cased extension of a file name: the text after its last ".". -->
  <xsl:template name="extension">
    <xsl:param name="name"/>
    <xsl:choose>
      <xsl:when test="contains($name, '.')">
        <xsl:call-template name="extension">
          <xsl:with-param name="name" select="substring-after($name, '.')"/>
        </xsl:call-template>
      </xsl:when>
      <xsl:otherwise><xsl:value-of select="translate($name, $upper, $lower)"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- Kind of a resource, as a short label and a class for its colour. -->
  <xsl:template name="kind">
    <xsl:param name="ext"/>
    <xsl:variable name="e" select="concat(' ', $ext, ' ')"/>
    <xsl:choose>
      <xsl:when test="contains(' htm html shtml mht asp php ', $e)"><span class="kind k-page">网页</span></xsl:when>
      <xsl:when test="contains(' doc docx rtf wps pdf ', $e)"><span class="kind k-doc">文档</span></xsl:when>
      <xsl:when test="contains(' ppt pptx pps dps ', $e)"><span class="kind k-show">演示</span></xsl:when>
      <xsl:when test="contains(' xls xlsx et mdb ', $e)"><span class="kind k-doc">表格</span></xsl:when>
      <xsl:when test="contains(' swf fla ', $e)"><span class="kind k-flash">动画</span></xsl:when>
      <xsl:when test="contains(' gif jpg jpeg png bmp psd ico ', $e)"><span class="kind k-pic">图片</span></xsl:when>
      <xsl:when test="contains(' mp3 wav wma au mid midi ra ', $e)"><span class="kind k-media">音频</span></xsl:when>
      <xsl:when test="contains(' avi mpg mpeg rm rmvb wmv asf mov mp4 dat flv ', $e)"><span class="kind k-media">视频</span></xsl:when>
      <xsl:when test="contains(' rar zip 7z ', $e)"><span class="kind k-other">压缩包</span></xsl:when>
      <xsl:when test="contains(' txt ', $e)"><span class="kind k-doc">文本</span></xsl:when>
      <xsl:otherwise><span class="kind k-other">文件</span></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template name="is-picture">
    <xsl:param name="ext"/>
    <xsl:if test="contains(' gif jpg jpeg png bmp ', concat(' ', $ext, ' '))">yes</xsl:if>
  </xsl:template>

  <!-- The welcome page of the folder, when it has one. -->
  <xsl:template name="welcome-page">
    <xsl:if test="string(/subjectResource/@welcome) != ''">
      <div class="welcome-page">
        <iframe class="welcome-frame" src="{/subjectResource/@welcome}" frameborder="0" scrolling="auto"></iframe>
        <p class="welcome-link"><a href="{/subjectResource/@welcome}" target="_blank">在新窗口中打开欢迎页</a></p>
      </div>
    </xsl:if>
  </xsl:template>

  <!-- Everything the current folder holds; context: selectNode. -->
  <xsl:template name="folder-content">
    <xsl:choose>
      <xsl:when test="not(subNode)">
        <p class="empty">本栏目暂无资源。</p>
      </xsl:when>
      <xsl:when test="@fullImages = 'yes'">
        <div class="gallery">
          <xsl:for-each select="subNode">
            <xsl:call-template name="thumbnail"/>
          </xsl:for-each>
        </div>
      </xsl:when>
      <xsl:when test="string(@level) = '0'">
        <xsl:if test="subNode[string(@dir) = '']">
          <h3 class="section-title">专题文件</h3>
          <ul class="files">
            <xsl:apply-templates select="subNode[string(@dir) = '']" mode="file"/>
          </ul>
        </xsl:if>
        <xsl:if test="subNode[string(@dir) != '']">
          <h3 class="section-title">专题栏目</h3>
          <div class="tiles">
            <xsl:for-each select="subNode[string(@dir) != '']">
              <xsl:variable name="href"><xsl:call-template name="sub-href"/></xsl:variable>
              <a class="tile" href="{$href}">
                <span class="tile-name"><xsl:value-of select="@name"/></span>
                <span class="tile-count">共 <xsl:value-of select="@pages"/> 个资源</span>
              </a>
            </xsl:for-each>
          </div>
        </xsl:if>
      </xsl:when>
      <xsl:otherwise>
        <xsl:if test="subNode[string(@dir) = '']">
          <ul class="files">
            <xsl:apply-templates select="subNode[string(@dir) = '']" mode="file"/>
          </ul>
        </xsl:if>
        <xsl:apply-templates select="subNode[string(@dir) != '']" mode="folder"/>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template match="subNode" mode="file">
    <xsl:variable name="href"><xsl:call-template name="sub-href"/></xsl:variable>
    <xsl:variable name="ext">
      <xsl:call-template name="extension"><xsl:with-param name="name" select="string(@link)"/></xsl:call-template>
    </xsl:variable>
    <li class="file">
      <xsl:call-template name="kind"><xsl:with-param name="ext" select="$ext"/></xsl:call-template>
      <a href="{$href}" target="_blank"><xsl:value-of select="@name"/></a>
    </li>
  </xsl:template>

  <!-- A folder below the current one, with what it holds, nested. -->
  <xsl:template match="subNode" mode="folder">
    <xsl:variable name="href"><xsl:call-template name="sub-href"/></xsl:variable>
    <div class="folder depth{@compara-level}">
      <h4 class="folder-title">
        <a href="{$href}"><xsl:value-of select="@name"/></a>
        <span class="count">（共 <xsl:value-of select="@pages"/> 个资源）</span>
        <xsl:if test="string(@link) != ''"><span class="kind k-page">网页</span></xsl:if>
      </h4>
      <xsl:if test="string(@link) = ''">
        <xsl:if test="subNode[string(@dir) = '']">
          <ul class="files">
            <xsl:apply-templates select="subNode[string(@dir) = '']" mode="file"/>
          </ul>
        </xsl:if>
        <xsl:apply-templates select="subNode[string(@dir) != '']" mode="folder"/>
      </xsl:if>
    </div>
  </xsl:template>

  <!-- One picture of a picture folder. -->
  <xsl:template name="thumbnail">
    <xsl:variable name="href"><xsl:call-template name="sub-href"/></xsl:variable>
    <xsl:variable name="ext">
      <xsl:call-template name="extension"><xsl:with-param name="name" select="string(@link)"/></xsl:call-template>
    </xsl:variable>
    <xsl:variable name="picture">
      <xsl:call-template name="is-picture"><xsl:with-param name="ext" select="$ext"/></xsl:call-template>
    </xsl:variable>
    <a class="thumb" href="{$href}" target="_blank" title="{@name}">
      <span class="thumb-box">
        <xsl:choose>
          <xsl:when test="string(@dir) != ''"><span class="kind k-folder">栏目</span></xsl:when>
          <xsl:when test="$picture = 'yes'"><img src="{$href}" alt="{@name}"/></xsl:when>
          <xsl:otherwise><xsl:call-template name="kind"><xsl:with-param name="ext" select="$ext"/></xsl:call-template></xsl:otherwise>
        </xsl:choose>
      </span>
      <span class="thumb-name"><xsl:value-of select="@name"/></span>
    </a>
  </xsl:template>

</xsl:stylesheet>
