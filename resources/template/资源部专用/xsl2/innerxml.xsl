<?xml version="1.0" encoding="UTF-8"?>
<!--
  资源部专用: the inner part of a column-site page, and the helpers the frame
  uses. Every entry carries compara-dir, the "/"-joined folder names from
  the top of the site (navigation) or from the current folder (subNode)
  down to the entry, so addresses are built from it:
  - a file: compara-dir (ending in "/" below the top) + link
  - a folder: compara-dir + "/startxml.xml", or, when it is a finished web
    page, compara-dir + "/" + its index page (link is "<dir>/<index page>")
  - navigation entries start from the site folder: stylePath + the above.
  A folder's picture (folderico) lives in the site's startxml.files.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">

  <xsl:variable name="stylePath" select="string(/subjectResource/@stylePath)"/>
  <xsl:variable name="filesPath" select="concat($stylePath, 'startxml.files/')"/>
  <xsl:variable name="lower" select="'abcdefghijklmnopqrstuvwxyz'"/>
  <xsl:variable name="upper" select="'ABCDEFGHIJKLMNOPQRSTUVWXYZ'"/>

  <!-- Address of an entry relative to where its compara-dir starts. -->
  <xsl:template name="entry-href">
    <xsl:choose>
      <xsl:when test="string(@dir) = ''">
        <xsl:value-of select="concat(@compara-dir, @link)"/>
      </xsl:when>
      <xsl:when test="string(@link) != ''">
        <xsl:value-of select="concat(@compara-dir, '/', substring-after(@link, concat(@dir, '/')))"/>
      </xsl:when>
      <xsl:otherwise>
        <xsl:value-of select="concat(@compara-dir, '/startxml.xml')"/>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- Address of a navigation entry (a node element): from the site folder. -->
  <xsl:template name="nav-href">
    <xsl:value-of select="$stylePath"/>
    <xsl:call-template name="entry-href"/>
  </xsl:template>

  <!-- Address of a breadcrumb step (a path element). -->
  <xsl:template name="path-href">
    <xsl:value-of select="substring($stylePath, 1, 3 * (0 - number(@compara-level)))"/>
    <xsl:text>startxml.xml</xsl:text>
  </xsl:template>

  <!-- The kind of a file from its type, as a short label and a colour class. -->
  <xsl:template name="kind">
    <xsl:variable name="e" select="concat(' ', translate(@type, $upper, $lower), ' ')"/>
    <xsl:choose>
      <xsl:when test="string(@dir) != ''"><span class="kind k-folder">栏目</span></xsl:when>
      <xsl:when test="contains(' htm html shtml mht asp php ', $e)"><span class="kind k-page">网页</span></xsl:when>
      <xsl:when test="contains(' doc docx rtf wps pdf txt ', $e)"><span class="kind k-doc">文档</span></xsl:when>
      <xsl:when test="contains(' ppt pptx pps dps ', $e)"><span class="kind k-show">演示</span></xsl:when>
      <xsl:when test="contains(' xls xlsx et ', $e)"><span class="kind k-doc">表格</span></xsl:when>
      <xsl:when test="contains(' swf fla ', $e)"><span class="kind k-flash">动画</span></xsl:when>
      <xsl:when test="contains(' gif jpg jpeg png bmp ', $e)"><span class="kind k-pic">图片</span></xsl:when>
      <xsl:when test="contains(' mp3 wav wma mid ', $e)"><span class="kind k-media">音频</span></xsl:when>
      <xsl:when test="contains(' avi mpg mpeg rm rmvb wmv mp4 ', $e)"><span class="kind k-media">视频</span></xsl:when>
      <xsl:otherwise><span class="kind k-other">文件</span></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- The folder's picture, when its array.ini line names one. -->
  <xsl:template name="folder-icon">
    <xsl:if test="string(@folderico) != ''">
      <img class="ico" src="{$filesPath}{@folderico}" alt=""/>
    </xsl:if>
  </xsl:template>

  <!-- The welcome page of the folder, when it has one. -->
  <xsl:template name="welcome-page">
    <xsl:if test="string(/subjectResource/@welcome) != ''">
      <div class="welcome-page">
        <iframe class="welcome-frame" src="{/subjectResource/@welcome}" frameborder="0"></iframe>
      </div>
    </xsl:if>
  </xsl:template>

  <!-- One file or folder as a line of a list (a subNode). -->
  <xsl:template match="subNode" mode="line">
    <xsl:variable name="href"><xsl:call-template name="entry-href"/></xsl:variable>
    <li>
      <xsl:call-template name="kind"/>
      <a href="{$href}">
        <xsl:if test="string(@dir) = ''"><xsl:attribute name="target">_blank</xsl:attribute></xsl:if>
        <xsl:value-of select="@name"/>
      </a>
    </li>
  </xsl:template>

  <!-- One file as a picture: its thumbnail (zoomImage), a picture without
       one as itself, anything else as its kind. -->
  <xsl:template match="subNode" mode="thumb">
    <xsl:variable name="href"><xsl:call-template name="entry-href"/></xsl:variable>
    <a class="thumb" href="{$href}" target="_blank" title="{@name}">
      <span class="thumb-box">
        <xsl:choose>
          <xsl:when test="string(@zoomImage) != ''">
            <img src="{concat(@compara-dir, @zoomImage)}" alt="{@name}"/>
          </xsl:when>
          <xsl:when test="contains(' gif jpg jpeg png bmp ', concat(' ', translate(@type, $upper, $lower), ' '))">
            <img src="{$href}" alt="{@name}"/>
          </xsl:when>
          <xsl:otherwise><xsl:call-template name="kind"/></xsl:otherwise>
        </xsl:choose>
      </span>
      <span class="thumb-name"><xsl:value-of select="@name"/></span>
    </a>
  </xsl:template>

  <!-- A column of the site's home page: its title and what it holds. -->
  <xsl:template match="subNode" mode="box">
    <xsl:variable name="href"><xsl:call-template name="entry-href"/></xsl:variable>
    <div class="box box-{@place}">
      <h3 class="box-title">
        <xsl:call-template name="folder-icon"/>
        <a href="{$href}"><xsl:value-of select="@name"/></a>
        <a class="more" href="{$href}">更多 &#187;</a>
      </h3>
      <xsl:choose>
        <xsl:when test="not(subNode)">
          <p class="empty">共 <xsl:value-of select="@pages"/> 个资源</p>
        </xsl:when>
        <xsl:otherwise>
          <xsl:if test="subNode[string(@zoomImage) != '']">
            <div class="gallery small">
              <xsl:apply-templates select="subNode[string(@zoomImage) != '']" mode="thumb"/>
            </div>
          </xsl:if>
          <xsl:if test="subNode[string(@zoomImage) = '']">
            <ul class="lines">
              <xsl:apply-templates select="subNode[string(@zoomImage) = '']" mode="line"/>
            </ul>
          </xsl:if>
        </xsl:otherwise>
      </xsl:choose>
    </div>
  </xsl:template>

  <!-- A folder below the current one, with what it holds, nested. -->
  <xsl:template match="subNode" mode="folder">
    <xsl:variable name="href"><xsl:call-template name="entry-href"/></xsl:variable>
    <div class="folder">
      <h4 class="folder-title">
        <xsl:call-template name="folder-icon"/>
        <a href="{$href}"><xsl:value-of select="@name"/></a>
        <span class="count">（共 <xsl:value-of select="@pages"/> 个资源）</span>
      </h4>
      <xsl:call-template name="entries"/>
    </div>
  </xsl:template>

  <!-- The entries of a folder: pictures and media as thumbnails when the
       folder is shown full size, other files as lines, then the folders. -->
  <xsl:template name="entries">
    <xsl:variable name="files" select="subNode[string(@dir) = '']"/>
    <xsl:if test="$files">
      <xsl:choose>
        <xsl:when test="@fullImages = 'yes'">
          <div class="gallery"><xsl:apply-templates select="$files" mode="thumb"/></div>
        </xsl:when>
        <xsl:otherwise>
          <ul class="lines"><xsl:apply-templates select="$files" mode="line"/></ul>
        </xsl:otherwise>
      </xsl:choose>
    </xsl:if>
    <xsl:apply-templates select="subNode[string(@dir) != '']" mode="folder"/>
  </xsl:template>

  <!-- What the current folder holds; context: selectNode. -->
  <xsl:template name="folder-content">
    <xsl:choose>
      <xsl:when test="not(subNode)">
        <p class="empty">本栏目暂无资源。</p>
      </xsl:when>
      <xsl:when test="string(@level) = '0'">
        <div class="columns">
          <div class="col col-left">
            <xsl:apply-templates select="subNode[@place = 'left']" mode="box"/>
          </div>
          <div class="col col-right">
            <xsl:apply-templates select="subNode[@place = 'right']" mode="box"/>
          </div>
        </div>
        <div class="col-foot">
          <xsl:apply-templates select="subNode[@place = 'foot']" mode="box"/>
        </div>
      </xsl:when>
      <xsl:otherwise>
        <xsl:call-template name="entries"/>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

</xsl:stylesheet>
